// A host session written down in advance: per block, the parameter changes, the program
// selection and the MIDI events the host sends before rendering it. The same session played on
// any thread, alone or beside others, must give the same samples.
#pragma once

#include <cstdint>
#include <vector>

#include "vst_host/effect.h"
#include "vst_host/event_list.h"

namespace corvalen::test {

using vsthost::MidiMessage;

struct ParameterChange {
    VstInt32 index;
    float value;
};

struct SessionBlock {
    VstInt32 frames = 0;
    VstInt32 program = -1;  // -1: no program selection before this block
    std::vector<ParameterChange> parameters;
    std::vector<MidiMessage> events;
    bool replacing = true;  // else process, onto buffers holding a known ramp
};

// Notes on several channels, running status, controllers, Mod Gain and Mod Freq above 0 (so
// the modulator draws from the library's random generator on every sample), level changes,
// program selections, and blocks of 1 to 700 frames. The same seed gives the same session.
std::vector<SessionBlock> makeSession(std::uint32_t seed, int blocks);

// Plays the session on `effect` (resumed first) and returns left then right channel of every
// block, one after the other. Fails the current test when the two outputs of a sample differ.
std::vector<float> play(vsthost::Effect& effect, const std::vector<SessionBlock>& session);

}  // namespace corvalen::test
