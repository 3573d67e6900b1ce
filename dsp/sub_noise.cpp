#include "dsp/sub_noise.h"

namespace velquistdsp {

tsubnoise::tsubnoise(int32_t period) {
    // Below 2 the countdown would never meet 1 and run on without end.
    const int32_t validPeriod = period < 2 ? 2 : period;
    lastSample = 0.0f;
    holdLength = validPeriod - 1;
    counter = validPeriod - 1;
}

}  // namespace velquistdsp
