#include "dsp/filter.h"

#include <algorithm>

namespace velquistdsp {

tfilter::tfilter()
    : numerator(new float[1]{1.0f}),
      denominator(new float[1]{1.0f}),
      outputs(new float[1]),
      inputs(new float[1]) {
    clearState();
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
        numeratorCount = newNumeratorCount;
        numerator = std::make_unique<float[]>(numeratorCount);
        inputs = std::make_unique<float[]>(numeratorCount);
    }
    if (newDenominatorCount != denominatorCount) {
        denominatorCount = newDenominatorCount;
        denominator = std::make_unique<float[]>(denominatorCount);
        outputs = std::make_unique<float[]>(denominatorCount);
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
