#include "dsp/biquad.h"

#include <cmath>

#include "dsp/precision.h"

namespace velquistdsp {

TBiquad::TBiquad() {
    const float feedForward[3] = {1.0f, 0.0f, 0.0f};
    const float feedBack[3] = {1.0f, 0.0f, 0.0f};
    setCoefficients(3, feedForward, 3, feedBack);
}

void TBiquad::setResonance(float frequency, float radius, bool normalise) {
    // The whole coefficient is formed in double and rounded once.
    denominator[2] = radius * radius;
    denominator[1] =
        roundToSingle(-2.0 * static_cast<double>(radius) *
                      std::cos(kAngleConstant * static_cast<double>(frequency) / kSampleRate));
    if (normalise) {
        numerator[0] = 0.5f - 0.5f * denominator[2];
        numerator[1] = 0.0f;
        numerator[2] = -numerator[0];
    }
}

void TBiquad::setZeroesAtDcAndNyquist() {
    numerator[0] = 1.0f;
    numerator[1] = 0.0f;
    numerator[2] = -1.0f;
}

}  // namespace velquistdsp
