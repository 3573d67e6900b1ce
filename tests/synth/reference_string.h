// The instrument played directly, as the plug-in is expected to play it: the oracle that the
// plug-in's output is compared with, bit for bit.
#pragma once

#include <vector>

#include "dsp/bowed_string.h"
#include "synth/note_frequencies.h"

namespace corvalen::test {

class ReferenceString {
public:
    ReferenceString() : string(20.0f) { string.noteOff(0.0f); }

    void noteOn(int note, int velocity) {
        string.noteOn(noteFrequencies[note], static_cast<float>(velocity * 0.007874015748031496));
    }
    void noteOff() { string.noteOff(0.001f); }
    void control(int number, float value) { string.controlChange(number, value); }

    // Appends `frames` samples scaled by `level` to `out`.
    void render(int frames, std::vector<float>& out, float level = 0.8f) {
        for (int i = 0; i < frames; ++i) out.push_back(string.computeSample() * level);
    }

    velquistdsp::tbowedstring string;
};

}  // namespace corvalen::test
