#pragma once

#include "dsp/filter.h"

namespace velquistdsp {

// One-pole low-pass: y = b0 * g * x - a1 * y[-1]. Keeps the base's arrays (one numerator, two
// denominator coefficients) but computes its fixed formula directly; denominator[0] is taken as 1.
//
// Contracts: the counts stay 1 and 2 (no setCoefficients with other counts): the step reads the
// arrays' inline elements. A pole in (-1, 1) keeps the filter stable.
class TOnePole final : public tfilter {
public:
    TOnePole();

    void setGain(float newGain) override { gain = newGain; }
    float getGain() const override { return gain; }
    float computeSample(float input) override {
        float* const in = inputs.inlineElements();
        float* const out = outputs.inlineElements();
        in[0] = gain * input;
        out[0] = numerator.inlineElements()[0] * in[0] - denominator.inlineElements()[1] * out[1];
        out[1] = out[0];
        return out[0];
    }
    float lastOutput() const override { return outputs.inlineElements()[0]; }

    // Places the pole at p and sets b0 = 1 - |p|, so the gain at DC stays 1.
    void setPole(float pole);
};

}  // namespace velquistdsp
