#pragma once

#include <cstdint>

#include "dsp/noise.h"

namespace velquistdsp {

// Noise held for a number of calls: a new value is drawn once every period - 1 calls (first on
// call period - 1; the calls before it return 0).
//
// Contract: period >= 2 (2 draws on every call); a smaller period is treated as 2.
class tsubnoise final : public tnoise {
public:
    explicit tsubnoise(int32_t period);

    float computeSample() {
        if (counter == 1) {
            tnoise::computeSample();
            counter = holdLength;
        } else {
            counter = counter - 1;
        }
        return lastSample;
    }

    int32_t counter;     // calls left until the next draw
    int32_t holdLength;  // what counter is reloaded with after a draw: period - 1
};

}  // namespace velquistdsp
