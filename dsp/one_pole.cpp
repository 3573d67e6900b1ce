#include "dsp/one_pole.h"

namespace velquistdsp {

TOnePole::TOnePole() {
    const float feedForward[1] = {0.1f};
    const float feedBack[2] = {1.0f, -0.9f};
    setCoefficients(1, feedForward, 2, feedBack);
}

void TOnePole::setPole(float pole) {
    if (pole > 0.0f) {
        numerator[0] = 1.0f - pole;
    } else {
        numerator[0] = 1.0f + pole;
    }
    denominator[1] = -pole;
}

}  // namespace velquistdsp
