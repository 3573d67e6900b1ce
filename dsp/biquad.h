#pragma once

#include "dsp/filter.h"

namespace velquistdsp {

// Two-pole, two-zero filter computed by its fixed formula; denominator[0] is taken as 1.
//
// Contracts: both counts stay 3 (no setCoefficients with smaller counts). A radius in [0, 1)
// keeps the filter stable; frequencies are in Hz at 44,100 samples per second.
class TBiquad final : public tfilter {
public:
    TBiquad();

    void setGain(float newGain) override { gain = newGain; }
    float getGain() const override { return gain; }
    float computeSample(float input) override {
        inputs[0] = gain * input;
        outputs[0] =
            (numerator[0] * inputs[0] + numerator[1] * inputs[1]) + numerator[2] * inputs[2];
        outputs[0] = outputs[0] - (denominator[2] * outputs[2] + denominator[1] * outputs[1]);
        inputs[2] = inputs[1];
        inputs[1] = inputs[0];
        outputs[2] = outputs[1];
        outputs[1] = outputs[0];
        return outputs[0];
    }
    float lastOutput() const override { return outputs[0]; }

    // Sets the pole pair at the given frequency and radius; with normalise, also a numerator
    // (b0, 0, -b0) that keeps the peak gain near 1. Without it the numerator stays.
    void setResonance(float frequency, float radius, bool normalise);
    // Numerator 1, 0, -1: zeroes at DC and at the Nyquist frequency.
    void setZeroesAtDcAndNyquist();
};

}  // namespace velquistdsp
