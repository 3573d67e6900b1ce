// The phrases the checks play, and the generator of their random events and values.
#pragma once

#include <cstdint>

#include "tools/validate/phrase_renderer.h"

namespace corvalen::validate {

// Notes, a legato change, a pitch bend, releases: about 1.4 s at 44.1 kHz.
Phrase standardPhrase();
// One note from frame 0 held for `frames` frames (no release).
Phrase heldNote(std::int64_t frames, int note = 60, int velocity = 100);
Phrase silentPhrase(std::int64_t frames);

// A small deterministic generator, so that every run sends the same random events and values.
class Lcg {
public:
    explicit Lcg(std::uint32_t seed) : state_(seed) {}
    // A number from 0 to n - 1.
    std::uint32_t below(std::uint32_t n) {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<std::uint32_t>((static_cast<std::uint64_t>(state_ >> 8) * n) >> 24);
    }

private:
    std::uint32_t state_;
};

}  // namespace corvalen::validate
