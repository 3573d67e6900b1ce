#include "dsp/bowed_string.h"

// Placeholder so the library links while the units are being written; it produces silence.
namespace velquistdsp {

tbowedstring::tbowedstring(float) {}
tbowedstring::~tbowedstring() = default;
void tbowedstring::noteOn(float, float) {}
void tbowedstring::noteOff(float) {}
void tbowedstring::setFrequency(float) {}
float tbowedstring::computeSample() {
    return lastSample = 0.0f;
}
void tbowedstring::controlChange(int, float) {}
void tbowedstring::startBowing(float) {}
void tbowedstring::stopBowing() {}

}  // namespace velquistdsp
