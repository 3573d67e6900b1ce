#include "tests/rate/adapter_harness.h"

#include <algorithm>

namespace corvalen::test {

rate::TimedEvent midiEvent(int status, int data1, int data2) {
    rate::TimedEvent event;
    event.midi[0] = static_cast<std::uint8_t>(status);
    event.midi[1] = static_cast<std::uint8_t>(data1);
    event.midi[2] = static_cast<std::uint8_t>(data2);
    return event;
}

std::vector<std::vector<float>> runAdapter(rate::RateAdapter& adapter,
                                           rate::FixedRateSource& source, int channels,
                                           std::int64_t frames, const std::vector<int>& blockSizes,
                                           const std::vector<OutputEvent>& events,
                                           const std::function<void(int)>& afterBlock) {
    std::vector<std::vector<float>> out(static_cast<std::size_t>(channels),
                                        std::vector<float>(static_cast<std::size_t>(frames)));
    std::vector<float*> pointers(static_cast<std::size_t>(channels));
    std::vector<rate::TimedEvent> blockEvents;
    std::size_t next = 0;
    std::int64_t done = 0;
    for (std::size_t b = 0; done < frames; ++b) {
        const int size = static_cast<int>(
            std::min<std::int64_t>(blockSizes[b % blockSizes.size()], frames - done));
        blockEvents.clear();
        // A zero-frame call takes the events due at its frame; the next call would too.
        while (next < events.size() &&
               (events[next].frame < done + size || (size == 0 && events[next].frame == done))) {
            rate::TimedEvent event = events[next++].event;
            event.frame = static_cast<std::int32_t>(events[next - 1].frame - done);
            blockEvents.push_back(event);
        }
        for (int c = 0; c < channels; ++c) pointers[c] = out[c].data() + done;
        adapter.process(source, pointers.data(), size, blockEvents.data(),
                        static_cast<int>(blockEvents.size()));
        if (afterBlock) afterBlock(size);
        done += size;
    }
    return out;
}

}  // namespace corvalen::test
