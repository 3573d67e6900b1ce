#pragma once

#include "dsp/filter.h"

namespace velquistdsp {

// Two-pole, two-zero filter computed by its fixed formula; denominator[0] is taken as 1.
//
// Contracts: both counts stay 3 (no setCoefficients with other counts): the step reads the
// arrays' inline elements. A radius in [0, 1) keeps the filter stable; frequencies are in Hz at
// 44,100 samples per second.
class TBiquad final : public tfilter {
public:
    TBiquad();

    void setGain(float newGain) override { gain = newGain; }
    float getGain() const override { return gain; }
    float computeSample(float input) override {
        // The histories and coefficients are separate arrays, so reading the old values first
        // gives the same sums as reading them in place, and each is loaded once.
        float* const in = inputs.inlineElements();
        float* const out = outputs.inlineElements();
        const float* const b = numerator.inlineElements();
        const float* const a = denominator.inlineElements();
        const float x0 = gain * input;
        const float x1 = in[1];
        const float x2 = in[2];
        const float y1 = out[1];
        const float y2 = out[2];
        float y = (b[0] * x0 + b[1] * x1) + b[2] * x2;
        y = y - (a[2] * y2 + a[1] * y1);
        in[0] = x0;
        in[1] = x0;
        in[2] = x1;
        out[0] = y;
        out[1] = y;
        out[2] = y1;
        return y;
    }
    float lastOutput() const override { return outputs.inlineElements()[0]; }

    // Sets the pole pair at the given frequency and radius; with normalise, also a numerator
    // (b0, 0, -b0) that keeps the peak gain near 1. Without it the numerator stays.
    void setResonance(float frequency, float radius, bool normalise);
    // Numerator 1, 0, -1: zeroes at DC and at the Nyquist frequency.
    void setZeroesAtDcAndNyquist();
};

}  // namespace velquistdsp
