#include "dsp/filter.h"

#include <algorithm>

namespace velquistdsp {

tfilter::tfilter() {
    numerator[0] = 1.0f;
    denominator[0] = 1.0f;
}

float tfilter::computeSample(float input) {
    // Both loops run downwards so that each history shifts by one place while it is summed.
    outputs[0] = 0.0f;
    inputs[0] = gain * input;
    for (int32_t i = numeratorCount - 1; i > 0; --i) {
        outputs[0] = outputs[0] + numerator[i] * inputs[i];
        inputs[i] = inputs[i - 1];
    }
    outputs[0] = outputs[0] + numerator[0] * inputs[0];
    for (int32_t i = denominatorCount - 1; i > 0; --i) {
        outputs[0] = outputs[0] - denominator[i] * outputs[i];
        outputs[i] = outputs[i - 1];
    }
    return outputs[0];
}

void tfilter::setCoefficients(int32_t newNumeratorCount, const float* numeratorCoefficients,
                              int32_t newDenominatorCount, const float* denominatorCoefficients) {
    // Outside the contract; ignoring the request keeps every array at least one element long.
    if (newNumeratorCount < 1 || newDenominatorCount < 1 || numeratorCoefficients == nullptr ||
        denominatorCoefficients == nullptr) {
        return;
    }
    if (newNumeratorCount != numeratorCount) {
        numerator.reset(newNumeratorCount);
        inputs.reset(newNumeratorCount);
        numeratorCount = newNumeratorCount;
    }
    if (newDenominatorCount != denominatorCount) {
        denominator.reset(newDenominatorCount);
        outputs.reset(newDenominatorCount);
        denominatorCount = newDenominatorCount;
    }
    std::copy(numeratorCoefficients, numeratorCoefficients + numeratorCount, numerator.get());
    std::copy(denominatorCoefficients, denominatorCoefficients + denominatorCount,
              denominator.get());
    const float leading = denominator[0];
    if (leading != 1.0f) {
        for (int32_t i = 0; i < numeratorCount; ++i) numerator[i] = numerator[i] / leading;
        for (int32_t i = 0; i < denominatorCount; ++i) denominator[i] = denominator[i] / leading;
    }
}

void tfilter::clearState() {
    std::fill(inputs.get(), inputs.get() + numeratorCount, 0.0f);
    std::fill(outputs.get(), outputs.get() + denominatorCount, 0.0f);
}

}  // namespace velquistdsp
