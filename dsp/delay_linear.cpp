#include "dsp/delay_linear.h"

namespace velquistdsp {

tdlinel::tdlinel(int32_t initialDelay, int32_t maximumDelay) : Tdelay(initialDelay, maximumDelay) {
    writeIndex = 0;
    setDelay(static_cast<float>(initialDelay));
    outputStale = true;
}

}  // namespace velquistdsp
