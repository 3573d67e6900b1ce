#pragma once

#include <cstdint>

#include "dsp/delay.h"
#include "dsp/precision.h"

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
        float* const buffer = inputs.get();
        buffer[writeIndex] = input;
        if (++writeIndex == length) writeIndex = 0;
        // readIndex is always below length, so the slot after it is also where it moves next.
        const int32_t nextIndex = readIndex + 1 < length ? readIndex + 1 : 0;
        // The flag ends up true either way; it only needs writing where it was false.
        float output;
        if (outputStale) {
            output = interpolate(buffer, nextIndex);
            cachedOutput = output;
        } else {
            output = cachedOutput;
            outputStale = true;
        }
        outputs[0] = output;
        readIndex = nextIndex;
        return output;
    }
    // The interpolated value at the read position, computed once per step and cached. A call
    // between two computeSample calls fixes what the next computeSample returns, before its
    // input is stored.
    float peekOutput() override {
        if (outputStale) {
            const int32_t nextIndex = readIndex + 1 < length ? readIndex + 1 : 0;
            cachedOutput = interpolate(inputs.get(), nextIndex);
            outputStale = false;
        }
        return cachedOutput;
    }

    // Moves the read position to trail the write position by requestedDelay samples. Leaves
    // the cached output alone. Inline: with modulation on, the instrument calls it every sample.
    void setDelay(float requestedDelay) {
        float position;
        // Written so that NaN takes the clamping branch.
        if (!(requestedDelay <= static_cast<float>(length - 1))) {
            position = static_cast<float>(writeIndex + 1 == length ? 0 : writeIndex + 1);
            delay = static_cast<float>(length - 1);
        } else {
            // A negative request would put the read position ahead of the write position.
            delay = requestedDelay < 0.0f ? 0.0f : requestedDelay;
            // Exact in double; the position is held as a single.
            position = roundToSingle(static_cast<double>(writeIndex) - static_cast<double>(delay));
        }
        // The delay is at most length - 1, so one wrap brings the position into the buffer.
        if (position < 0.0f) position = position + static_cast<float>(length);
        readIndex = static_cast<int32_t>(position);
        // A tiny negative position rounds up to exactly length when wrapped: that is slot 0.
        if (readIndex >= length) {
            readIndex -= length;
            position -= static_cast<float>(length);
        }
        fraction = position - static_cast<float>(readIndex);
        oneMinusFraction = 1.0f - fraction;
    }

private:
    // (1 - fraction) * the slot at readIndex + fraction * the slot after it, rounded after each
    // operation in that order.
    float interpolate(const float* buffer, int32_t nextIndex) const {
        const float near = buffer[readIndex] * oneMinusFraction;
        return buffer[nextIndex] * fraction + near;
    }

public:
    // Signal state, set by setDelay and advanced by computeSample.
    float fraction = 0.0f;          // weight of the slot after readIndex
    float oneMinusFraction = 1.0f;  // weight of the slot at readIndex
    float cachedOutput = 0.0f;      // the interpolated output peekOutput last computed
    bool outputStale = true;        // cachedOutput must be computed again before it is used
};

}  // namespace velquistdsp
