// Drives the built Corvalen library the way a host does, through vst_host: load it, call `main`,
// and talk to the effect only through its record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/plugin_under_test.h"
#include "tests/support/signals.h"
#include "vst_host/effect.h"
#include "vst_host/event_list.h"
#include "vst_host/host.h"

namespace corvalen::test {

using vsthost::controller;
using vsthost::MidiMessage;
using vsthost::noteOff;
using vsthost::noteOn;

// A message that the plug-in must skip: a system-exclusive event at `frame` whose bytes, where a
// MIDI event keeps its message, read as a note on. A plug-in that ignored the type would play it.
struct SysexMessage {
    VstInt32 frame;
};
inline SysexMessage sysex(VstInt32 frame) {
    return {frame};
}

// One entry of an event list sent by sendMidi: a short MIDI message or such a system-exclusive
// event.
struct ListedEvent {
    ListedEvent(const MidiMessage& message) : midi(message) {}  // NOLINT: lists read naturally
    ListedEvent(const SysexMessage& message) : isSysex(true) { midi.frame = message.frame; }
    MidiMessage midi;
    bool isSysex = false;
};

struct Block {
    std::vector<float> left;
    std::vector<float> right;
};

// A freshly created plug-in object, opened and resumed; closed (effClose) on destruction.
class LoadedSynth {
public:
    LoadedSynth();
    ~LoadedSynth();
    LoadedSynth(const LoadedSynth&) = delete;
    LoadedSynth& operator=(const LoadedSynth&) = delete;

    AEffect* effect() const { return effect_->record(); }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    // The text an opcode writes into a guarded host buffer; fails the test if it is not
    // terminated.
    std::string text(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0);

    void setParameter(VstInt32 index, float value) { effect_->setParameter(index, value); }
    float getParameter(VstInt32 index) { return effect_->getParameter(index); }

    // Sends one event list (opcode 25); answers what processEvents returned.
    VstIntPtr sendMidi(const std::vector<ListedEvent>& events);
    // Renders one block with processReplacing into buffers prefilled with a non-zero value.
    Block render(VstInt32 frames);
    // Renders one block with the accumulating process entry into buffers holding `start`.
    Block accumulate(VstInt32 frames, float start);
    // The left channel of `frames` samples, rendered in blocks of 512; fails the test if the
    // right channel differs from the left in any bit.
    std::vector<float> play(VstInt32 frames);

    // Host calls the plug-in made, as (opcode, value) pairs, since creation.
    std::vector<std::pair<VstInt32, VstIntPtr>> hostCalls() const;

private:
    vsthost::Host host_{vsthost::HostProfile::kVersionOnly};
    std::unique_ptr<vsthost::Effect> effect_;
};

// The library's exported `main`.
inline PluginEntry pluginMain() {
    return pluginUnderTest().entry();
}
// Whether the loaded library exports `name`.
inline bool exportsSymbol(const char* name) {
    return pluginUnderTest().findSymbol(name) != nullptr;
}

}  // namespace corvalen::test
