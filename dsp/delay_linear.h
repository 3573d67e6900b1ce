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
        outputs.inlineElements()[0] = output;
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
    // the cached output alone. Inline: with modulation on, the instrument calls it every sample,
    // mostly with the same request as the sample before.
    void setDelay(float requestedDelay) {
        // The read position is a function of the request and the write index alone, so a
        // repeated request whose write index lies in the run noted by the last derivation gets
        // the slot the derivation would give, and the fraction and delay it left, which nothing
        // else writes (see deriveDelay).
        const auto stepsSinceDerived = static_cast<uint32_t>(writeIndex - runFirstWrite);
        if (bitPattern(requestedDelay) == runRequest && stepsSinceDerived <= runSteps) {
            readIndex = writeIndex + runReadOffset;
            return;
        }
        deriveDelay(requestedDelay);
    }

    // For a run of steps that each follow computeSample() with setDelay(requestedDelay): how
    // many of the next of them, up to limit, take the repeated-request path. For those,
    // repeatDelayInRun() does what setDelay does.
    int32_t repeatsInRun(float requestedDelay, int32_t limit) const {
        if (bitPattern(requestedDelay) != runRequest) return 0;
        // Step i sets the delay at write index writeIndex + i. The run never reaches past the
        // last slot, so inside it that sum does not wrap.
        const auto stepsSinceDerived = static_cast<uint32_t>(writeIndex - runFirstWrite);
        if (stepsSinceDerived >= runSteps) return 0;
        const uint32_t left = runSteps - stepsSinceDerived;
        return left < static_cast<uint32_t>(limit) ? static_cast<int32_t>(left) : limit;
    }
    void repeatDelayInRun() { readIndex = writeIndex + runReadOffset; }

private:
    // Places the read position from scratch and notes the run of write indexes over which the
    // same request moves it by whole slots only.
    void deriveDelay(float requestedDelay);

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
    // The last derivation: its request's bits, its write index, how many write indexes after it
    // give the same fraction one slot further each, and readIndex - writeIndex over that run.
    uint32_t runRequest = 0;
    int32_t runFirstWrite = 0;
    uint32_t runSteps = 0;
    int32_t runReadOffset = 0;
};

}  // namespace velquistdsp
