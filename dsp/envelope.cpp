#include "dsp/envelope.h"

#include <cmath>

namespace velquistdsp {

void tenvelope::keyOn() {
    target = 1.0f;
    if (value != 1.0f) state = 1;
}

void tenvelope::keyOff() {
    target = 0.0f;
    if (value != 0.0f) state = 1;
}

void tenvelope::setTarget(float newTarget) {
    target = newTarget;
    if (value != target) state = 1;
}

void tenvelope::setValue(float newValue) {
    state = 0;
    target = newValue;
    value = newValue;
}

void tenvelope::setRate(float newRate) {
    rate = std::fabs(newRate);
}

}  // namespace velquistdsp
