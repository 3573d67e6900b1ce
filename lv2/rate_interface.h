#pragma once

#include <cstdint>

// What the rate adapter (rate/rate_adapter.h, namespace corvalen::rate) takes from a source that
// renders at a fixed rate: these two declarations, the same names and members. The LV2 face is
// written against them, so that once the adapter is in the tree this header gives way to it.
namespace corvalen::rate {

// One timed event; `frame` is an offset into the block the source is asked for.
struct TimedEvent {
    enum class Kind : std::uint8_t { Midi, Parameter };
    std::int32_t frame = 0;
    Kind kind = Kind::Midi;
    std::uint8_t midi[3] = {0, 0, 0};  // Kind::Midi: status, data 1, data 2
    std::int32_t parameter = 0;        // Kind::Parameter: index and new value
    float value = 0.0f;
};

// What runs at the fixed rate. Events arrive sorted by frame (stable: equal frames keep their
// order), each 0 <= frame < frames.
class FixedRateSource {
public:
    virtual ~FixedRateSource() = default;
    virtual void render(float* const* outputs, int frames, const TimedEvent* events, int count) = 0;
};

}  // namespace corvalen::rate
