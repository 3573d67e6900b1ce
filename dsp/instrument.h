#pragma once

namespace velquistdsp {

// A MIDI velocity (0..127) times this, a double product rounded to single, is the amplitude
// noteOn takes: 1/127, so velocity 127 plays at amplitude 1.
constexpr double kVelocityScale = 0.007874015748031496;

// The interface the plug-in plays through: start and release a note, retune, produce one
// sample, apply a numbered control. Concrete instruments own their units and release them in
// their own destructors.
class tinstrument {
public:
    virtual ~tinstrument() = default;

    // The sample the latest computeSample returned; 0 until the first.
    virtual float lastOutput() const { return lastSample; }

    // frequency in Hz (above 0), amplitude in 0..1.
    virtual void noteOn(float frequency, float amplitude) = 0;
    virtual void noteOff(float amplitude) = 0;
    virtual void setFrequency(float frequency) = 0;
    virtual float computeSample() = 0;
    virtual void controlChange(int number, float value) = 0;

    float lastSample = 0.0f;
};

}  // namespace velquistdsp
