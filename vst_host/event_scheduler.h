// Hands timed events to a plug-in block by block, as a sequencer does: every host here (the
// renderer, the validator's phrases, the tests' and benchmarks' renders) slices its events into
// blocks and event lists through this one scheduler. Planning a slice allocates nothing, so a
// real-time callback may use it.
//
// Every event lands at its exact frame: deltaFrames is its offset in the block that holds it.
// By default a block's events go in one list, as real hosts send them, however many there are.
// Lists may be capped for testing plug-ins: when a block then holds more events than the cap,
// the block is cut short just before the first event that did not fit, and the next slice
// starts at that event. Only when more than the cap fall on one single frame do the rest
// arrive one frame late.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vst_host/event_list.h"

namespace corvalen::vsthost {

// A short MIDI message at an absolute frame of a render or a performance.
struct TimedEvent {
    std::int64_t frame = 0;
    std::uint8_t bytes[3] = {};
};

inline TimedEvent timedEvent(std::int64_t frame, int status, int data1, int data2) {
    return {frame,
            {static_cast<std::uint8_t>(status), static_cast<std::uint8_t>(data1),
             static_cast<std::uint8_t>(data2)}};
}

class EventScheduler {
public:
    struct Slice {
        int frames = 0;      // how many frames to render now (at least 1)
        int eventCount = 0;  // events put in the caller's list, deltaFrames set
    };

    // `events` must stay alive and ordered by frame while the scheduler is used.
    EventScheduler(const std::vector<TimedEvent>& events, int maxEventsPerList);

    // Plans the slice that starts at `blockStart` and lasts at most `maxFrames` frames (> 0),
    // putting its events into `out` (cleared first; reserve maxEventsPerList so that filling
    // it allocates nothing). Slices must be asked for in order, each starting where the
    // previous one ended.
    Slice next(std::int64_t blockStart, int maxFrames, EventList& out);

    bool finished() const { return nextEvent_ >= events_.size(); }
    int maxEventsPerList() const { return maxEventsPerList_; }

private:
    const std::vector<TimedEvent>& events_;
    int maxEventsPerList_;
    std::size_t nextEvent_ = 0;
};

// The most events that fall in any `blockFrames` frames in a row (at least 1): a list of this
// size takes every block's events whole, wherever the blocks start.
int densestBlock(const std::vector<TimedEvent>& events, int blockFrames);

}  // namespace corvalen::vsthost
