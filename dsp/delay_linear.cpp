#include "dsp/delay_linear.h"

#include "dsp/precision.h"

namespace velquistdsp {

tdlinel::tdlinel(int32_t initialDelay, int32_t maximumDelay) : Tdelay(initialDelay, maximumDelay) {
    writeIndex = 0;
    setDelay(static_cast<float>(initialDelay));
    outputStale = true;
}

void tdlinel::setDelay(float requestedDelay) {
    float position;
    // Written so that NaN takes the clamping branch.
    if (!(requestedDelay <= static_cast<float>(length - 1))) {
        position = static_cast<float>(writeIndex + 1 == length ? 0 : writeIndex + 1);
        delay = static_cast<float>(length - 1);
    } else {
        // A negative request would put the read position ahead of the write position.
        delay = requestedDelay < 0.0f ? 0.0f : requestedDelay;
        // Exact in double; the position is held as a single.
        position = roundToSingle(static_cast<double>(writeIndex) - static_cast<double>(delay));
    }
    // The delay is at most length - 1, so one wrap brings the position into the buffer.
    if (position < 0.0f) position = position + static_cast<float>(length);
    readIndex = static_cast<int32_t>(position);
    // A tiny negative position rounds up to exactly length when wrapped: that is slot 0.
    if (readIndex >= length) {
        readIndex -= length;
        position -= static_cast<float>(length);
    }
    fraction = position - static_cast<float>(readIndex);
    oneMinusFraction = 1.0f - fraction;
}

}  // namespace velquistdsp
