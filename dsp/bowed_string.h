#pragma once

#include "dsp/instrument.h"

namespace velquistdsp {

class tdlinel;
class tbowtbl;
class TOnePole;
class TBiquad;
class tslowmodul;
class tadsr;

// Monophonic physical model of a bowed string: two interpolating delay lines meeting at the bow,
// a friction curve coupling bow and string, a damping filter at the bridge and a resonant body
// filter at the output. The caller serialises all operations on one instrument.
class tbowedstring final : public tinstrument {
public:
    // lowestFrequency in Hz, above 0; the plug-in passes 20.
    explicit tbowedstring(float lowestFrequency);
    ~tbowedstring() override;
    tbowedstring(const tbowedstring&) = delete;
    tbowedstring& operator=(const tbowedstring&) = delete;

    void noteOn(float frequency, float amplitude) override;
    void noteOff(float amplitude) override;
    void setFrequency(float frequency) override;
    float computeSample() override;
    // Controls: 0 bow position, 1 modulation depth, 11 modulation rate, 120 bow pressure,
    // 128 envelope target (values 0..127, 0..32 for control 1); other numbers are ignored.
    void controlChange(int number, float value) override;

    void startBowing(float amplitude);
    void stopBowing();

    tdlinel* nutLine = nullptr;
    tdlinel* bridgeLine = nullptr;
    tbowtbl* bow = nullptr;
    TOnePole* lossFilter = nullptr;
    TBiquad* bodyResonator = nullptr;
    tslowmodul* modulator = nullptr;
    tadsr* envelope = nullptr;
    float bowVelocityScale = 0.0f;
    float loopDelay = 0.0f;
    float modulationDepth = 0.0f;
    float bowPosition = 0.127236f;
};

}  // namespace velquistdsp
