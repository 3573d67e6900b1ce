#include "dsp/slow_modulator.h"

#include <cmath>

#include "dsp/precision.h"

namespace velquistdsp {

namespace {

// Radians per call for a rate of 1, formed in double; only the product with the rate is rounded.
constexpr double phaseStepPerRate = kAngleConstant / 256.0;

}  // namespace

tslowmodul::tslowmodul() : phaseStep(roundToSingle(6.0 * phaseStepPerRate)) {
    randomFilter.setPole(0.999f);
    randomFilter.setGain(randomGain * 10.0f);
}

int32_t tslowmodul::callsAtRest(int32_t limit) const {
    // None of the calls may draw: call i (from 1) draws when the countdown, then
    // counter - (i - 1), is 1.
    int32_t calls = randomSource.counter - 1 < limit ? randomSource.counter - 1 : limit;
    if (calls <= 0) return 0;

    // Without a draw the held value is the same in every call, so each call gives the smoothing
    // filter the same input. If the history is +0 and the next output, computed here by the
    // filter's own formula in the caller's floating-point state, is +0 too, then every call
    // finds the history +0 and gives that same +0: the filter's state after any number of the
    // calls is its state after one. So the real call that follows can bring it up to date.
    // (A history of -0 must be refused: with a negative pole it can turn into +0 and then -0.)
    constexpr std::uint32_t kSignBit = 0x80000000u;
    const float* const history = randomFilter.outputs.inlineElements();
    const float* const b = randomFilter.numerator.inlineElements();
    const float* const a = randomFilter.denominator.inlineElements();
    if (bitPattern(history[1]) != 0) return 0;
    const float nextSmoothed =
        b[0] * (randomFilter.getGain() * randomSource.lastSample) - a[1] * history[1];
    if (bitPattern(nextSmoothed) != 0) return 0;

    // vibrato() then returns +0 for a zero gain and a finite phase, and +0 + +0 is +0 in every
    // rounding mode. The phases of the calls are phase and its running sums with the step. Each
    // sum's rounding changes it by a relative 2^-23 at most, so over at most 2^20 sums the
    // phases stay within 1.14 times |phase| + calls * |step|; below 2^127 that keeps every one
    // far from the overflow at 2^128. NaN fails the test.
    if ((bitPattern(vibratoGain) & ~kSignBit) != 0) return 0;
    constexpr int32_t kMostCalls = 1 << 20;
    if (calls > kMostCalls) calls = kMostCalls;
    const double reach = std::fabs(static_cast<double>(phase)) +
                         static_cast<double>(calls) * std::fabs(static_cast<double>(phaseStep));
    if (!(reach < 0x1p127)) return 0;
    return calls;
}

void tslowmodul::setVibratoRate(float rate) {
    phaseStep = roundToSingle(static_cast<double>(rate) * phaseStepPerRate);
}

void tslowmodul::setVibratoGain(float gain) {
    vibratoGain = gain;
}

void tslowmodul::setRandomGain(float gain) {
    randomGain = gain;
    randomFilter.setGain(10.0f * gain);
}

}  // namespace velquistdsp
