// From ticks to sample frames: the tempo map and the list of timed events a render plays.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "tools/render/exit_code.h"
#include "tools/render/midi_file.h"
#include "vst_host/event_scheduler.h"

namespace corvalen::render {

class TimelineError : public ToolError {
public:
    explicit TimelineError(const std::string& message) : ToolError(kExitMidi, message) {}
};

// Converts ticks to frames exactly: time is kept as an integer count of
// 1/unitsPerSecond-second units, so no rounding error builds up across tempo changes; the
// one rounding is the final one to the nearest frame (halves up).
class TempoMap {
public:
    // Longer sequences are refused: it keeps every intermediate within 64 bits.
    static constexpr std::uint64_t kMaxSeconds = 24 * 3600;
    static constexpr int kMaxSampleRate = 1 << 20;

    TempoMap(const TimeDivision& division, const std::vector<TempoChange>& tempos);

    // Frame at which `tick` falls; throws TimelineError past kMaxSeconds.
    std::int64_t frameAt(std::uint64_t tick, int sampleRate) const;

private:
    struct Segment {
        std::uint64_t tick;   // first tick of the segment
        std::uint64_t units;  // time at that tick
        std::uint64_t unitsPerTick;
    };
    std::uint64_t unitsAt(std::uint64_t tick) const;

    std::uint64_t unitsPerSecond_ = 1;
    std::vector<Segment> segments_;
};

using vsthost::TimedEvent;

struct Timeline {
    std::vector<TimedEvent> events;  // ordered by frame, ties in sequence order
    std::int64_t endFrame = 0;       // where the music ends (before any release tail)
};

// Places every channel message of the sequence at its frame. Notes still held at the end get
// a note off at the end frame, as a sequencer sends when it stops.
Timeline buildTimeline(const MidiSequence& sequence, int sampleRate);

}  // namespace corvalen::render
