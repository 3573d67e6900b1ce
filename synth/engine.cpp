#include "synth/engine.h"

CorvalenEngine::CorvalenEngine() {
    for (int index = 0; index < kProgramCount; ++index) {
        programs[index] = std::make_unique<testsynthProgram>(initialProgram(index));
    }
    loadProgram(0);

    instrument = std::make_unique<velquistdsp::tbowedstring>(kLowestFrequency);
    // A new envelope settles at its sustain level; releasing it once makes the first note's
    // attack start from silence.
    instrument->noteOff(0.0f);
    noteOffValue = parameters.get(kOffGainParameter) / 1000.0f;
}
