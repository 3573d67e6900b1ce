#pragma once

#include <cstdint>

#include "dsp/filter_array.h"

namespace velquistdsp {

// General direct-form-I filter with any number of feed-forward and feedback coefficients.
//
// Contracts: both counts are at least 1 (every step reads element 0 of each array); the leading
// denominator coefficient passed to setCoefficients is not 0. Single-threaded use by one owner.
class tfilter {
public:
    tfilter();
    virtual ~tfilter() = default;
    tfilter(const tfilter&) = delete;
    tfilter& operator=(const tfilter&) = delete;

    // The gain scales inputs as they enter the history; samples already stored keep theirs.
    virtual void setGain(float newGain) { gain = newGain; }
    virtual float getGain() const { return gain; }
    virtual float computeSample(float input);
    // The latest output, 0 before the first sample.
    virtual float lastOutput() const { return outputs[0]; }

    // Copies the coefficients and divides all of them by the leading denominator coefficient as
    // passed in (unless it is exactly 1). A history is reallocated and zeroed only when its own
    // count changes, so retuning with the same counts keeps the filter's state. A count below 1
    // or a missing array is outside the contract and leaves the filter unchanged.
    void setCoefficients(int32_t newNumeratorCount, const float* numeratorCoefficients,
                         int32_t newDenominatorCount, const float* denominatorCoefficients);
    // Zeroes both histories; coefficients and gain stay.
    void clearState();

    // Parameters.
    float gain = 1.0f;
    int32_t numeratorCount = 1;    // also the length of inputs
    int32_t denominatorCount = 1;  // also the length of outputs
    FilterArray numerator{1};      // b[0], b[1], ...
    FilterArray denominator{1};    // a[0] (1 after setCoefficients), a[1], ...
    // Signal state.
    FilterArray outputs{1};  // outputs[k]: the output k samples before the latest
    FilterArray inputs{1};   // inputs[k]: the gain-scaled input k samples back
};

}  // namespace velquistdsp
