// Running a rate adapter the way a host's audio callback does: block after block, events given
// at absolute output frames and handed to each block at its own offsets.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "rate/rate_adapter.h"

namespace corvalen::test {

struct OutputEvent {
    std::int64_t frame;  // output frame from the start of the run
    rate::TimedEvent event;
};

rate::TimedEvent midiEvent(int status, int data1, int data2);

// Plays `frames` output frames through the adapter in blocks whose sizes repeat `blockSizes`
// (a 0 in it makes a zero-frame call), with `events` sorted by frame; returns every
// channel's output. `afterBlock` is called with each block's size after its call.
std::vector<std::vector<float>> runAdapter(rate::RateAdapter& adapter,
                                           rate::FixedRateSource& source, int channels,
                                           std::int64_t frames, const std::vector<int>& blockSizes,
                                           const std::vector<OutputEvent>& events = {},
                                           const std::function<void(int)>& afterBlock = nullptr);

}  // namespace corvalen::test
