#pragma once

#include <cstdint>

namespace velquistdsp {

// Linear envelope: moves its value toward a target by a fixed step per sample and stops exactly
// on it, never overshooting.
//
// Contracts: none beyond finite values; a negative rate is stored as its absolute value.
class tenvelope {
public:
    // What `state` holds for a plain envelope (tadsr keeps its stage number there instead).
    enum : int32_t { kAtRest = 0, kMoving = 1 };

    virtual ~tenvelope() = default;

    virtual void keyOn();
    virtual void keyOff();
    virtual void setTarget(float newTarget);
    virtual void setValue(float newValue);
    virtual int32_t getState() const { return state; }
    virtual float computeSample() {
        if (state != kMoving) return value;
        if (target > value) {
            value = value + rate;
            if (value >= target) {
                value = target;
                state = kAtRest;
            }
        } else {
            value = value - rate;
            if (value <= target) {
                value = target;
                state = kAtRest;
            }
        }
        return value;
    }

    void setRate(float newRate);

    // State.
    float value = 0.0f;   // the current output
    float target = 0.0f;  // the value the envelope moves toward
    // Parameter.
    float rate = 0.001f;  // step per sample, never negative when set through setRate
    // State: kAtRest or kMoving (tadsr keeps its stage number here).
    int32_t state = kAtRest;
};

}  // namespace velquistdsp
