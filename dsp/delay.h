#pragma once

#include <cstdint>

#include "dsp/filter.h"

namespace velquistdsp {

// Ring-buffer delay by a whole number of samples. It reuses the filter base's storage: `inputs`
// is the ring buffer (length slots) and outputs[0] the last output; the base's gain is kept but
// never applied.
//
// Contracts: maximumDelay >= 0 (a negative one is treated as 0). Any delay request is safe: one
// above length - 1 or NaN is clamped to length - 1, a negative one gives 0. Both indexes stay in
// 0 .. length - 1. The base's setCoefficients is not for delay lines: the last output is read from
// the one-element `outputs`' inline element.
class Tdelay : public tfilter {
public:
    Tdelay(int32_t initialDelay, int32_t maximumDelay);

    float computeSample(float input) override {
        inputs[writeIndex] = input;
        if (++writeIndex == length) writeIndex = 0;
        outputs.inlineElements()[0] = inputs[readIndex];
        if (++readIndex >= length) readIndex -= length;
        return outputs.inlineElements()[0];
    }
    float lastOutput() const override { return outputs.inlineElements()[0]; }
    // The sample at the read position: what the next computeSample returns for delays of at
    // least one sample (with delay 0 the next input overwrites that slot first).
    virtual float peekOutput() { return inputs[readIndex]; }

    // Silences the buffer and the last output; leaves the indexes alone.
    void clearState();
    // The read position ignores the fraction of the delay; `delay` keeps it.
    void setDelay(float requestedDelay);

    // Signal state.
    int32_t writeIndex = 0;  // slot the next input goes to
    int32_t readIndex = 0;   // slot the next output comes from
    // Constant after construction.
    int32_t length = 1;  // slots in the ring buffer: maximum delay + 1
    // Parameter.
    float delay = 0.0f;  // delay in effect: the last request, or its clamped value
};

}  // namespace velquistdsp
