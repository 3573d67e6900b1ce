#pragma once

#include <cstdint>

#include "dsp/delay.h"

namespace velquistdsp {

// Delay by a fractional number of samples, read by linear interpolation between the slot at
// readIndex and the one after it (wrapping from the last slot to slot 0).
//
// Contracts: as Tdelay. Any delay request keeps the read position inside the buffer: above
// length - 1 or NaN clamps to length - 1, negative clamps to 0 (no caller makes one, but a
// host's out-of-range parameter can lead to it).
class tdlinel final : public Tdelay {
public:
    tdlinel(int32_t initialDelay, int32_t maximumDelay);

    float computeSample(float input) override {
        inputs[writeIndex] = input;
        if (++writeIndex == length) writeIndex = 0;
        outputs[0] = peekOutput();
        outputStale = true;
        if (++readIndex >= length) readIndex -= length;
        return outputs[0];
    }
    // The interpolated value at the read position, computed once per step and cached. A call
    // between two computeSample calls fixes what the next computeSample returns, before its
    // input is stored.
    float peekOutput() override {
        if (outputStale) {
            const int32_t nextIndex = readIndex + 1 < length ? readIndex + 1 : 0;
            cachedOutput = inputs[readIndex] * oneMinusFraction;
            cachedOutput = inputs[nextIndex] * fraction + cachedOutput;
            outputStale = false;
        }
        return cachedOutput;
    }

    // Moves the read position to trail the write position by requestedDelay samples. Leaves
    // the cached output alone.
    void setDelay(float requestedDelay);

    // Signal state, set by setDelay and advanced by computeSample.
    float fraction = 0.0f;          // weight of the slot after readIndex
    float oneMinusFraction = 1.0f;  // weight of the slot at readIndex
    float cachedOutput = 0.0f;      // the interpolated output peekOutput last computed
    bool outputStale = true;        // cachedOutput must be computed again before it is used
};

}  // namespace velquistdsp
