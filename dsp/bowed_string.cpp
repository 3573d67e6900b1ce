#include "dsp/bowed_string.h"

#include <cmath>

namespace velquistdsp {

namespace {

// N = 44100 / lowestFrequency + 1, formed in double and rounded to nearest, halves to even.
int lineLengthFor(float lowestFrequency) {
    const float frequency = lowestFrequency > 0.0f ? lowestFrequency : 20.0f;
    const double samples = std::nearbyint(kSampleRate / static_cast<double>(frequency) + 1.0);
    return samples < tbowedstring::maximumLineLength ? static_cast<int>(samples)
                                                     : tbowedstring::maximumLineLength;
}

}  // namespace

tbowedstring::tbowedstring(float lowestFrequency)
    : nutLine(100, lineLengthFor(lowestFrequency)),
      bridgeLine(29, lineLengthFor(lowestFrequency) / 2) {
    bow.setSlope(3.0f);
    lossFilter.setPole(0.55f);
    lossFilter.setGain(0.95f);
    bodyResonator.setResonance(500.0f, 0.85f, true);
    bodyResonator.setZeroesAtDcAndNyquist();
    bodyResonator.setGain(0.2f);
    modulator.setVibratoRate(6.12723f);
    modulator.setRandomGain(0.0f);
    modulator.setVibratoGain(0.0f);
    envelope.setTimes(0.02f, 0.005f, 0.9f, 0.01f);
    // The lines keep their delays of 100 and 29 samples until the first note.
    nutDelayAtRest = modulatedNutDelay(0.0);
}

void tbowedstring::noteOn(float frequency, float amplitude) {
    startBowing(amplitude);
    setFrequency(frequency);
}

void tbowedstring::noteOff(float /*amplitude*/) {
    stopBowing();
}

void tbowedstring::setFrequency(float frequency) {
    loopDelay = static_cast<float>(kSampleRate) / frequency - 4.0f;
    // Also catches NaN.
    if (!(loopDelay >= 0.0f)) loopDelay = 0.3f;
    placeBow();
}

void tbowedstring::placeBow() {
    bridgeLine.setDelay(loopDelay * bowPosition);
    // Formed in double and rounded once: rounding 1 - bowPosition first moves the nut-side
    // delay by an ulp for a quarter of the notes and changes the string.
    nutLine.setDelay(
        roundToSingle((1.0 - static_cast<double>(bowPosition)) * static_cast<double>(loopDelay)));
    nutDelayAtRest = modulatedNutDelay(0.0);
}

void tbowedstring::controlChange(int number, float value) {
    const double wideValue = value;
    switch (number) {
        case kBowPositionControl:
            bowPosition = roundToSingle(0.2 * wideValue * (1.0 / 128.0) + 0.027236);
            placeBow();
            break;
        case kModulationDepthControl:
            modulationDepth = value;
            nutDelayAtRest = modulatedNutDelay(0.0);
            break;
        case kModulationRateControl:
            modulator.setVibratoRate(roundToSingle(wideValue * (1.0 / 128.0) * 12.0));
            break;
        case kBowPressureControl:
            bow.setSlope(roundToSingle(5.0 - 4.0 * wideValue * (1.0 / 128.0)));
            break;
        case kBowVelocityControl:
            envelope.setTarget(roundToSingle(wideValue * (1.0 / 128.0)));
            break;
        default:
            break;
    }
}

void tbowedstring::startBowing(float amplitude) {
    // The envelope's keyOn sets its own attack rate, so the amplitude only scales the velocity.
    envelope.keyOn();
    bowVelocityScale = roundToSingle(0.2 * static_cast<double>(amplitude) + 0.03);
}

void tbowedstring::stopBowing() {
    envelope.keyOff();
}

}  // namespace velquistdsp
