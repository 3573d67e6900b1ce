#pragma once

#include <cmath>
#include <memory>

#include "dsp/one_pole.h"
#include "dsp/sub_noise.h"

namespace velquistdsp {

// Slow modulator: a sine plus held noise smoothed by a one-pole low-pass. The phase is a float
// accumulator that is never wrapped; with the default step it stops growing at 2^22, where the
// step no longer changes it and the sine part freezes.
//
// Contracts: rates and gains are finite. Owns its noise source and filter.
class tslowmodul final {
public:
    tslowmodul();
    tslowmodul(const tslowmodul&) = delete;
    tslowmodul& operator=(const tslowmodul&) = delete;

    float computeSample() {
        // sin is taken in double and rounded once, so the value does not hang on the quality of
        // a platform's single-precision sine.
        lastSample = static_cast<float>(std::sin(static_cast<double>(phase))) * vibratoGain;
        phase = phase + phaseStep;
        const float held = randomSource->computeSample();
        lastSample = randomFilter->computeSample(held) + lastSample;
        return lastSample;
    }

    // One sine period every 256 / rate calls, whatever the sample rate.
    void setVibratoRate(float rate);
    void setVibratoGain(float gain);
    // Also sets the smoothing filter's input gain to 10 * gain.
    void setRandomGain(float gain);

    // Signal state.
    float phase = 0.0f;  // radians, never wrapped
    // Parameter.
    float phaseStep;  // added to phase per call
    // Owned units.
    std::unique_ptr<tsubnoise> randomSource;
    std::unique_ptr<TOnePole> randomFilter;
    // Parameters.
    float vibratoGain = 0.04f;
    float randomGain = 0.005f;
    // Signal state.
    float lastSample = 0.0f;  // the value the latest computeSample returned
};

}  // namespace velquistdsp
