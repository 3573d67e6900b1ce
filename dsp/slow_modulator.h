#pragma once

#include <cmath>
#include <cstdint>

#include "dsp/one_pole.h"
#include "dsp/precision.h"
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
        const float sinePhase = phase;
        phase = phase + phaseStep;
        const float held = randomSource.computeSample();
        const float smoothed = randomFilter.computeSample(held);
        lastSample = smoothed + vibrato(sinePhase, smoothed);
        return lastSample;
    }

    // How many of the next calls, up to limit, are sure to return +0 without drawing from the
    // generator. For each of them advanceAtRest() stands in for computeSample(), provided the
    // call after the last of them is a real computeSample(): see the definition for why.
    int32_t callsAtRest(int32_t limit) const;
    // A call counted by callsAtRest: moves the phase and the hold countdown as computeSample()
    // does, and leaves the smoothing filter and lastSample to the real call that follows.
    void advanceAtRest() {
        phase = phase + phaseStep;
        randomSource.counter = randomSource.counter - 1;
    }

    // One sine period every 256 / rate calls, whatever the sample rate.
    void setVibratoRate(float rate);
    void setVibratoGain(float gain);
    // Also sets the smoothing filter's input gain to 10 * gain.
    void setRandomGain(float gain);

private:
    // The sine part, sin(sinePhase) * vibratoGain, as the term added to the smoothed noise.
    //
    // With a gain of zero (the instrument's setting) the product is a zero carrying the sign of
    // the sine (and the gain), or NaN when the phase is infinite or NaN. Adding a zero of
    // either sign to the smoothed noise gives the noise itself when it is non-zero, infinite or
    // NaN, and +0 when it is +0 (0 + -0 is +0 when rounding to nearest, which every rendering
    // call sets). Only a smoothed value of -0 keeps the zero's sign. Outside those two cases
    // the sum is the same with +0 in place of the product, so the sine is not evaluated.
    float vibrato(float sinePhase, float smoothed) const {
        constexpr std::uint32_t kSignBit = 0x80000000u;
        constexpr std::uint32_t kExponentBits = 0x7F800000u;
        const bool gainIsZero = (bitPattern(vibratoGain) & ~kSignBit) == 0;
        const bool phaseIsFinite = (bitPattern(sinePhase) & kExponentBits) != kExponentBits;
        if (gainIsZero && phaseIsFinite && bitPattern(smoothed) != kSignBit) return 0.0f;
        // sin is taken in double and rounded once, so the value does not hang on the quality of
        // a platform's single-precision sine.
        return static_cast<float>(std::sin(static_cast<double>(sinePhase))) * vibratoGain;
    }

public:
    // Signal state.
    float phase = 0.0f;  // radians, never wrapped
    // Parameter.
    float phaseStep;  // added to phase per call
    // Owned units, held in the modulator itself so that the sample step reaches them at fixed
    // offsets instead of through pointers of their own.
    tsubnoise randomSource{330};
    TOnePole randomFilter;
    // Parameters.
    float vibratoGain = 0.04f;
    float randomGain = 0.005f;
    // Signal state.
    float lastSample = 0.0f;  // the value the latest computeSample returned
};

}  // namespace velquistdsp
