#include "dsp/envelope.h"

#include <cmath>

namespace velquistdsp {

void tenvelope::keyOn() {
    target = 1.0f;
    if (value != 1.0f) state = kMoving;
}

void tenvelope::keyOff() {
    target = 0.0f;
    if (value != 0.0f) state = kMoving;
}

void tenvelope::setTarget(float newTarget) {
    target = newTarget;
    if (value != target) state = kMoving;
}

void tenvelope::setValue(float newValue) {
    state = kAtRest;
    target = newValue;
    value = newValue;
}

void tenvelope::setRate(float newRate) {
    rate = std::fabs(newRate);
}

}  // namespace velquistdsp
