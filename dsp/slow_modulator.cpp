#include "dsp/slow_modulator.h"

#include "dsp/precision.h"

namespace velquistdsp {

namespace {

// Radians per call for a rate of 1, formed in double; only the product with the rate is rounded.
constexpr double phaseStepPerRate = kAngleConstant / 256.0;

}  // namespace

tslowmodul::tslowmodul()
    : phaseStep(roundToSingle(6.0 * phaseStepPerRate)) {
    randomFilter.setPole(0.999f);
    randomFilter.setGain(randomGain * 10.0f);
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
