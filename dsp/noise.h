#pragma once

#include <cstdint>

namespace velquistdsp {

// The library's one random generator: a 32-bit linear congruential state, 0 when the library is
// loaded, never reseeded, shared by every noise source of every instrument in the process.
// Advances the state and returns an integer in 0 .. n - 1 (the upper half of state * n).
// Contract: n >= 1.
int32_t nextRandom(int32_t n);

// The generator's current state, for checking the sequence; reading it does not advance it.
uint32_t randomState();

// White noise in [-0.5, 0.5) in steps of 1/32768.
class tnoise {
public:
    float computeSample();

    float lastSample = 0.0f;  // the value the latest computeSample returned
};

}  // namespace velquistdsp
