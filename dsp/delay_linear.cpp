#include "dsp/delay_linear.h"

#include <algorithm>
#include <cmath>

namespace velquistdsp {

tdlinel::tdlinel(int32_t initialDelay, int32_t maximumDelay) : Tdelay(initialDelay, maximumDelay) {
    writeIndex = 0;
    deriveDelay(static_cast<float>(initialDelay));
    outputStale = true;
}

void tdlinel::deriveDelay(float requestedDelay) {
    float position;
    bool clamped = false;
    // Written so that NaN takes the clamping branch.
    if (!(requestedDelay <= static_cast<float>(length - 1))) {
        position = static_cast<float>(writeIndex + 1 == length ? 0 : writeIndex + 1);
        delay = static_cast<float>(length - 1);
        clamped = true;
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

    // The run over which setDelay may repeat this result shifted by whole slots. Every step
    // above is a function of (request, writeIndex) only, so the write index itself always
    // qualifies (runSteps 0). For a later write index w + j of an unclamped request d, take
    // the exact value z = w - d, plus length when negative (both exact in double; a negative
    // w - d has magnitude at most d and so is also exact in single, and the position is then
    // the one rounding of z). The position is round(z). If z and z + j lie in one binade
    // [2^k, 2^(k+1)] with k >= 0, single precision's grid there has spacing 2^(k-23) and j is
    // an even number of those steps (k <= 21 here, lines being under 2^22 slots), so rounding
    // to nearest, ties to even, commutes with adding j: round(z + j) = round(z) + j. The read
    // slot then moves by j and the fraction stays. The run also stops before the write index
    // wraps (w + j <= length - 1) and, for a negative w - d, while w + j - d stays <= -1, so
    // the position stays below length and the wrap into slot 0 never applies. A z below 1
    // (a binade below 1, where 1 is not a multiple of the spacing) gets no run.
    runRequest = bitPattern(requestedDelay);
    runFirstWrite = writeIndex;
    runReadOffset = readIndex - writeIndex;
    runSteps = 0;
    if (clamped) return;
    const double lineLength = static_cast<double>(length);
    const double trail = static_cast<double>(writeIndex) - static_cast<double>(delay);
    const double z = trail >= 0.0 ? trail : trail + lineLength;
    if (!(z >= 1.0)) return;
    int exponent = 0;
    std::frexp(z, &exponent);  // z < 2^exponent
    const double binadeEnd = std::ldexp(1.0, exponent);
    // The largest j with z + j below the binade's end (then at most at it after rounding).
    double steps = std::ceil(binadeEnd - z) - 1.0;
    const double lastInRun = trail >= 0.0 ? lineLength - 1.0 - static_cast<double>(writeIndex)
                                          : std::floor(lineLength - 1.0 - z);
    steps = std::min(steps, lastInRun);
    if (steps > 0.0) runSteps = static_cast<uint32_t>(steps);
}

}  // namespace velquistdsp
