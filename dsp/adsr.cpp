#include "dsp/adsr.h"

#include <cmath>

#include "dsp/precision.h"

namespace velquistdsp {

namespace {

// A rate that covers a change of 1.0 in the given time; 1/44100 is formed in double before the
// division and the quotient is rounded once.
float rateForTime(float seconds) {
    return roundToSingle((1.0 / kSampleRate) / std::fabs(static_cast<double>(seconds)));
}

}  // namespace

tadsr::tadsr() {
    target = 0.0f;
    value = 0.0f;
    state = ATTACK;
}

void tadsr::keyOn() {
    target = 1.0f;
    rate = attackRate;
    state = ATTACK;
}

void tadsr::keyOff() {
    target = 0.0f;
    rate = releaseRate;
    state = RELEASE;
}

void tadsr::setTarget(float newTarget) {
    target = newTarget;
    if (value < newTarget) {
        state = ATTACK;
        setSustainLevel(newTarget);
        rate = attackRate;
    } else if (value > newTarget) {
        setSustainLevel(newTarget);
        state = DECAY;
        rate = decayRate;
    }
}

void tadsr::setValue(float newValue) {
    state = SUSTAIN;
    target = newValue;
    value = newValue;
    setSustainLevel(newValue);
    rate = 0.0f;
}

void tadsr::setAttackTime(float seconds) {
    attackRate = rateForTime(seconds);
}

void tadsr::setDecayTime(float seconds) {
    decayRate = rateForTime(seconds);
}

void tadsr::setReleaseTime(float seconds) {
    releaseRate = rateForTime(seconds);
}

void tadsr::setSustainLevel(float level) {
    sustainLevel = level >= 0.0f ? level : 0.0f;
}

void tadsr::setTimes(float attackTime, float decayTime, float level, float releaseTime) {
    setAttackTime(attackTime);
    setDecayTime(decayTime);
    setSustainLevel(level);
    setReleaseTime(releaseTime);
}

}  // namespace velquistdsp
