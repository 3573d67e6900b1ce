// Hands timed events to the plug-in block by block, as a sequencer does.
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

#include "tools/render/timeline.h"
#include "vst_host/event_list.h"

namespace corvalen::render {

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
    Slice next(std::int64_t blockStart, int maxFrames, vsthost::EventList& out);

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

}  // namespace corvalen::render
