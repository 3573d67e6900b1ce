#pragma once

#include <cstdint>

#include "dsp/envelope.h"

namespace velquistdsp {

// Attack, decay, sustain, release envelope. Each time is that of a full-scale change of 1.0, so
// a segment's length depends on where it starts. A new tadsr is in ATTACK toward 0: left alone it
// returns 0, then rests at the sustain level.
//
// Contracts: times are not 0 (a negative time acts as its absolute value); a negative sustain
// level is stored as 0. Only the attack reads `rate`; keyOn, keyOff, setValue and setTarget load
// it, so a setRate before them has no effect.
class tadsr final : public tenvelope {
public:
    static constexpr int32_t ATTACK = 0;
    static constexpr int32_t DECAY = 1;
    static constexpr int32_t SUSTAIN = 2;
    static constexpr int32_t RELEASE = 3;
    static constexpr int32_t DONE = 4;

    tadsr();

    void keyOn() override;
    void keyOff() override;
    void setTarget(float newTarget) override;
    void setValue(float newValue) override;
    int32_t getState() const override { return state; }
    // One stage per call: the call that ends a stage returns the clamped value and the next
    // stage starts on the following call.
    float computeSample() override {
        // A held or finished note spends nearly all its samples at rest; test for that first.
        if (state == SUSTAIN || state == DONE) return value;
        switch (state) {
            case ATTACK:
                value = value + rate;
                if (value >= target) {
                    value = target;
                    rate = decayRate;
                    target = sustainLevel;
                    state = DECAY;
                }
                break;
            case DECAY:
                value = value - decayRate;
                if (value <= sustainLevel) {
                    value = sustainLevel;
                    rate = 0.0f;
                    state = SUSTAIN;
                }
                break;
            case RELEASE:
                value = value - releaseRate;
                if (value <= 0.0f) {
                    value = 0.0f;
                    state = DONE;
                }
                break;
            default:
                break;
        }
        return value;
    }

    void setAttackTime(float seconds);
    void setDecayTime(float seconds);
    void setReleaseTime(float seconds);
    void setSustainLevel(float level);
    void setTimes(float attackTime, float decayTime, float level, float releaseTime);

    // Parameters: steps per sample and the level the decay stops at.
    float attackRate = 0.001f;
    float decayRate = 0.001f;
    float sustainLevel = 0.5f;  // never negative
    float releaseRate = 0.01f;
};

}  // namespace velquistdsp
