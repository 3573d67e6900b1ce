#include "dsp/delay.h"

#include <algorithm>
#include <cstdint>

namespace velquistdsp {

Tdelay::Tdelay(int32_t initialDelay, int32_t maximumDelay) {
    // Keeps length positive and representable whatever the caller passes.
    length = std::min(std::max(maximumDelay, int32_t{0}), INT32_MAX - 1) + 1;
    inputs.reset(length);
    clearState();
    writeIndex = 0;
    Tdelay::setDelay(static_cast<float>(initialDelay));
}

void Tdelay::clearState() {
    std::fill(inputs.get(), inputs.get() + length, 0.0f);
    outputs[0] = 0.0f;
}

void Tdelay::setDelay(float requestedDelay) {
    const float longest = static_cast<float>(length - 1);
    // Written so that NaN takes the clamping branch.
    if (!(requestedDelay <= longest)) {
        readIndex = writeIndex + 1;
        if (readIndex == length) readIndex = 0;
        delay = longest;
    } else if (requestedDelay < 0.0f) {
        readIndex = writeIndex;
        delay = 0.0f;
    } else {
        readIndex = writeIndex - static_cast<int32_t>(requestedDelay);
        delay = requestedDelay;
    }
    while (readIndex < 0) readIndex += length;
}

}  // namespace velquistdsp
