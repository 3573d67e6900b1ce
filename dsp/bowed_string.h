#pragma once

#include "dsp/adsr.h"
#include "dsp/biquad.h"
#include "dsp/bow_table.h"
#include "dsp/delay_linear.h"
#include "dsp/instrument.h"
#include "dsp/one_pole.h"
#include "dsp/precision.h"
#include "dsp/slow_modulator.h"

namespace velquistdsp {

// Monophonic physical model of a bowed string: two interpolating delay lines meeting at the bow,
// a friction curve coupling bow and string, a damping filter at the bridge and a resonant body
// filter at the output, with an envelope on the bow's velocity.
//
// Contracts: frequencies in Hz; any value is safe (above 11,025 Hz, negative or NaN gives the
// shortest loop of 0.3 samples, below the lowest frequency the longest the lines hold).
// Amplitudes in 0..1. The caller serialises all operations on one instrument.
class tbowedstring final : public tinstrument {
public:
    // lowestFrequency in Hz, above 0; the plug-in passes 20. A value that is not above 0 is
    // treated as 20, and the lines are never made longer than maximumLineLength.
    explicit tbowedstring(float lowestFrequency);
    tbowedstring(const tbowedstring&) = delete;
    tbowedstring& operator=(const tbowedstring&) = delete;

    // The string is not cleared: a new note starts from what the loop still holds, and the
    // envelope's attack from its current value.
    void noteOn(float frequency, float amplitude) override;
    // The amplitude has no effect on this instrument.
    void noteOff(float amplitude) override;
    // Retunes the string without touching the bow.
    void setFrequency(float frequency) override;

    float computeSample() override { return modulationOn() ? step<true>() : step<false>(); }

    // computeSample for a known modulation state: step<modulationOn()>() is computeSample().
    // No step changes the modulation depth, so render() chooses once for a whole run; the step
    // without modulation calls nothing, which lets the compiler keep the units' state in
    // registers across the run.
    bool modulationOn() const { return modulationDepth > 0.0f; }
    template <bool kModulated>
    float step() {
        const float bowVelocity = envelope.computeSample() * bowVelocityScale;
        // The reflections use the lines' outputs of the previous call.
        const float bridgeReflection = -lossFilter.computeSample(bridgeLine.lastOutput());
        const float nutReflection = -nutLine.lastOutput();
        const float stringVelocity = bridgeReflection + nutReflection;
        const float velocityDifference = bowVelocity - stringVelocity;
        const float bowInput = bow.friction(velocityDifference) * velocityDifference;
        nutLine.computeSample(bridgeReflection + bowInput);
        bridgeLine.computeSample(nutReflection + bowInput);
        if constexpr (kModulated) {
            // Runs whenever the depth is on, even though the modulator's gains are 0: setting the
            // delay again re-rounds the read position, which is audible in the samples.
            const float modulation = modulator.computeSample();
            // With the gains at 0 the modulator gives +0 on every sample whose phase is finite,
            // and the request for +0 is the same arithmetic on the same operands as the one kept
            // in nutDelayAtRest, so it is not formed again. -0 and NaN take the formula.
            nutLine.setDelay(bitPattern(modulation) == 0 ? nutDelayAtRest
                                                         : modulatedNutDelay(modulation));
        }
        lastSample = bodyResonator.computeSample(bridgeLine.lastOutput());
        return lastSample;
    }

    // count samples, handed to sink(sample) in order: the samples and the state that count
    // calls of computeSample() give, in fewer instructions. With modulation on, the run goes in
    // stretches of steps in which the modulator is sure to give +0 without drawing and the nut
    // line's delay is sure to be placed by its repeated-request path; those steps skip that
    // work (see stepAtRest), and a full step<true> ends each stretch. The stretches' loop calls
    // nothing, so there too the state can stay in registers.
    template <typename Sink>
    void render(int32_t count, Sink&& sink) {
        if (!modulationOn()) {
            for (int32_t i = 0; i < count; ++i) sink(step<false>());
            return;
        }
        while (count > 0) {
            const int32_t atRest = stepsAtRest(count - 1);
            for (int32_t i = 0; i < atRest; ++i) sink(stepAtRest());
            sink(step<true>());
            count -= atRest + 1;
        }
    }

    // The numbered controls. Values run over 0..127, except modulation depth (0..32); other
    // numbers are ignored.
    enum Control : int {
        kBowPositionControl = 0,
        kModulationDepthControl = 1,
        kModulationRateControl = 11,
        kBowPressureControl = 120,
        kBowVelocityControl = 128,  // the envelope's target
    };
    void controlChange(int number, float value) override;

    void startBowing(float amplitude);
    void stopBowing();

    // Longest line the constructor makes (a lowest frequency of about 0.01 Hz); keeps the
    // allocation bounded and every read position exact in single precision.
    static constexpr int maximumLineLength = 1 << 22;

    // Owned units, held in the instrument itself: the sample step reaches each at a fixed offset
    // from the instrument instead of through a pointer of its own.
    tdlinel nutLine;        // bow to nut: (1 - bowPosition) * loopDelay
    tdlinel bridgeLine;     // bow to bridge: bowPosition * loopDelay
    tbowtbl bow;            // friction curve
    TOnePole lossFilter;    // damping in the reflection at the bridge
    TBiquad bodyResonator;  // the body; produces the output
    tslowmodul modulator;   // can modulate the nut-side delay
    tadsr envelope;         // shapes the bow velocity
    // Parameters.
    float bowVelocityScale = 0.0f;  // maximum bow velocity of the current note
    float loopDelay = 0.0f;         // total delay of the string loop in samples
    float modulationDepth = 0.0f;   // 0 or less turns the modulation off
    float bowPosition = 0.127236f;  // share of loopDelay on the bridge side of the bow

private:
    // How many of the next steps, up to limit, step<true>() would take with a modulator output
    // of +0 and no draw (so with the request nutDelayAtRest) and place the nut line on its
    // repeated-request path. The step after them must be a full one.
    int32_t stepsAtRest(int32_t limit) const {
        return nutLine.repeatsInRun(nutDelayAtRest, modulator.callsAtRest(limit));
    }
    // step<true>() for a step counted by stepsAtRest.
    float stepAtRest() {
        const float output = step<false>();
        modulator.advanceAtRest();
        nutLine.repeatDelayInRun();
        return output;
    }

    // Sets both lines from loopDelay and bowPosition.
    void placeBow();
    // The nut-side delay for a modulator output: formed in double, rounded once.
    float modulatedNutDelay(double modulation) const {
        return roundToSingle(modulation * (static_cast<double>(loopDelay) * modulationDepth) +
                             (1.0 - static_cast<double>(bowPosition)) *
                                 static_cast<double>(loopDelay));
    }
    // modulatedNutDelay(+0), formed again whenever loopDelay, bowPosition or modulationDepth
    // changes (placeBow and control 1 are the only places that change them).
    float nutDelayAtRest = 0.0f;
};

}  // namespace velquistdsp
