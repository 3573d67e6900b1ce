#include <cstring>

#include "synth/corvalen.h"
#include "synth/parameter_texts.h"

// Programs and parameters. The host may call any of these from a thread other than the audio
// thread: they touch the programs and the atomic current values, never the instrument.

void Atestsynth::setProgram(VstInt32 program) {
    if (!CorvalenEngine::isProgram(program)) return;
    curProgram = program;
    // The instrument keeps what it last received through setParameter; only the values the
    // host reads (and the level, read per block) change.
    engine.loadProgram(program);
}

void Atestsynth::setProgramName(const char* name) {
    engine.program(curProgram).setName(name);
}

void Atestsynth::getProgramName(char* name) {
    if (name != nullptr) std::strcpy(name, engine.program(curProgram).name);
}

bool Atestsynth::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) {
    if (!CorvalenEngine::isProgram(index) || text == nullptr) return false;
    std::strcpy(text, engine.program(index).name);
    return true;
}

bool Atestsynth::copyProgram(VstInt32 destination) {
    if (!CorvalenEngine::isProgram(destination)) return false;
    // The stored record, not the current values.
    engine.program(destination) = engine.program(curProgram);
    return true;
}

void Atestsynth::setParameter(VstInt32 index, float value) {
    // Deferred: the next rendering call applies it before its first sample.
    engine.setParameter(index, value);
}

float Atestsynth::getParameter(VstInt32 index) {
    return engine.parameter(index);
}

void Atestsynth::getParameterName(VstInt32 index, char* text) {
    if (text == nullptr) return;
    const char* name = parameterName(index);
    std::strcpy(text, name != nullptr ? name : "");
}

void Atestsynth::getParameterLabel(VstInt32 index, char* label) {
    if (label == nullptr) return;
    const char* unit = parameterLabel(index);
    std::strcpy(label, unit != nullptr ? unit : "");
}

void Atestsynth::getParameterDisplay(VstInt32 index, char* text) {
    if (text == nullptr) return;
    writeParameterDisplay(index, engine.parameter(index), text);
}
