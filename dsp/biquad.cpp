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
    // The angle constant is the double 6.28318530718, deliberately not 2*pi at full precision;
    // the whole coefficient is formed in double and rounded once.
    constexpr double angleConstant = 6.28318530718;
    denominator[2] = radius * radius;
    denominator[1] =
        roundToSingle(-2.0 * static_cast<double>(radius) *
                      std::cos(angleConstant * static_cast<double>(frequency) / 44100.0));
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
