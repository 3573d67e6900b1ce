#pragma once

#include <cmath>

#include "dsp/precision.h"

namespace velquistdsp {

// The bow's friction curve, computed on the fly: min(1, (|(x + offset) * slope| + 0.75)^-4).
// It is 1 while the velocity difference is small (the string sticks to the bow) and falls off
// steeply as it grows (the string slips).
//
// Contracts: any slope is accepted unchecked. An infinite difference gives 0 (slope other than
// 0); a NaN difference gives NaN.
class tbowtbl final {
public:
    void setSlope(float newSlope) { slope = newSlope; }

    float friction(float difference) {
        float scaled = difference + offset;
        scaled = scaled * slope;
        lastValue = std::fabs(scaled) + 0.75f;
        // The fourth power and its reciprocal are formed in double and rounded once.
        const double base = lastValue;
        const double square = base * base;
        lastValue = roundToSingle(1.0 / (square * square));
        if (lastValue > 1.0f) lastValue = 1.0f;
        return lastValue;
    }

    // Parameters.
    float offset = 0.0f;  // added to the difference before scaling; nothing changes it
    float slope = 0.1f;   // steeper slopes narrow the sticking region
    // State.
    float lastValue = 0.0f;  // the coefficient the latest friction call returned
};

}  // namespace velquistdsp
