#include "vst_host/event_scheduler.h"

#include <algorithm>

namespace corvalen::vsthost {

EventScheduler::EventScheduler(const std::vector<TimedEvent>& events, int maxEventsPerList)
    : events_(events), maxEventsPerList_(std::max(1, maxEventsPerList)) {}

EventScheduler::Slice EventScheduler::next(std::int64_t blockStart, int maxFrames, EventList& out) {
    Slice slice;
    slice.frames = std::max(1, maxFrames);
    const std::int64_t blockEnd = blockStart + slice.frames;
    const std::size_t cap = static_cast<std::size_t>(maxEventsPerList_);
    const std::size_t first = nextEvent_;
    std::size_t end = first;
    // Look one event past the cap to see whether the block overflows the list.
    while (end < events_.size() && events_[end].frame < blockEnd && end - first <= cap) ++end;

    std::size_t take = end - first;
    if (take > cap) {
        // The first event that does not fit starts the next slice on its own frame, together
        // with the events of that frame that would fit: one frame's events stay in one list.
        const std::int64_t overflowFrame = events_[first + cap].frame;
        take = cap;
        while (take > 0 && events_[first + take - 1].frame == overflowFrame) --take;
        std::int64_t cut = overflowFrame;
        if (take == 0 && overflowFrame <= blockStart) {
            // More events on this one frame than a list holds: the rest wait one frame.
            take = cap;
            cut = blockStart + 1;
        }
        slice.frames = static_cast<int>(std::max<std::int64_t>(1, cut - blockStart));
    }

    out.clear();
    for (std::size_t i = 0; i < take; ++i) {
        const TimedEvent& timed = events_[first + i];
        // Events that had to wait are due at the slice's first frame. Flags stay 0: sequenced,
        // not played live.
        out.addMidi(static_cast<VstInt32>(std::max<std::int64_t>(0, timed.frame - blockStart)),
                    timed.bytes[0], timed.bytes[1], timed.bytes[2]);
    }
    nextEvent_ = first + take;
    slice.eventCount = static_cast<int>(take);
    return slice;
}

int densestBlock(const std::vector<TimedEvent>& events, int blockFrames) {
    std::size_t most = 1;
    std::size_t first = 0;
    for (std::size_t last = 0; last < events.size(); ++last) {
        while (events[last].frame - events[first].frame >= blockFrames) ++first;
        most = std::max(most, last - first + 1);
    }
    return static_cast<int>(std::min<std::size_t>(most, INT32_MAX));
}

}  // namespace corvalen::vsthost
