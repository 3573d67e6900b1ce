// Drives the built Corvalen library the way a host does: load it, call `main`, and talk to the
// effect only through its record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vst_plugin/aeffect.h"

namespace corvalen_test {

// One MIDI message at a sample offset of the coming block.
struct Midi {
    VstInt32 deltaFrames;
    std::uint8_t status;
    std::uint8_t data1;
    std::uint8_t data2;
    // kVstSysExType sends a system-exclusive event whose bytes where a MIDI event keeps its
    // message read as a note on: a plug-in that ignored the type would play it.
    VstInt32 type = kVstMidiType;
};

inline Midi noteOn(VstInt32 delta, int note, int velocity = 100, int channel = 0) {
    return {delta, static_cast<std::uint8_t>(0x90 | channel), static_cast<std::uint8_t>(note),
            static_cast<std::uint8_t>(velocity)};
}
inline Midi noteOff(VstInt32 delta, int note, int channel = 0) {
    return {delta, static_cast<std::uint8_t>(0x80 | channel), static_cast<std::uint8_t>(note), 64};
}
inline Midi controller(VstInt32 delta, int number, int value, int channel = 0) {
    return {delta, static_cast<std::uint8_t>(0xB0 | channel), static_cast<std::uint8_t>(number),
            static_cast<std::uint8_t>(value)};
}

inline Midi sysex(VstInt32 delta) {
    return {delta, 0xF0, 0, 0, kVstSysExType};
}

struct Block {
    std::vector<float> left;
    std::vector<float> right;
};

// A freshly created plug-in object; closed (effClose) on destruction.
class LoadedSynth {
public:
    LoadedSynth();
    ~LoadedSynth();
    LoadedSynth(const LoadedSynth&) = delete;
    LoadedSynth& operator=(const LoadedSynth&) = delete;

    AEffect* effect() const { return effect_; }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    // The text an opcode writes into a host buffer (prefilled with 0x7F bytes).
    std::string text(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0);

    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);

    // Sends one event list (opcode 25); answers what processEvents returned.
    VstIntPtr sendMidi(const std::vector<Midi>& messages);
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
    struct HostState;
    AEffect* effect_ = nullptr;
    HostState* host_ = nullptr;
};

// The library's exported `main`, looked up by name in the loaded library.
PluginEntry pluginMain();
// Whether the loaded library exports `name`.
bool exportsSymbol(const char* name);

// Index of the first sample that is not exactly 0, or -1.
long firstNonZero(const std::vector<float>& samples, std::size_t from = 0);
// Largest magnitude of x[from..to).
double maxMagnitude(const std::vector<float>& x, std::size_t from, std::size_t to = SIZE_MAX);
// Period in samples of a steady tone in x from `from` on, searched within 20 % of `expected`.
double measurePeriod(const std::vector<float>& x, std::size_t from, double expected);
// True when every sample equals the reference bit for bit.
bool bitEqual(const std::vector<float>& a, const std::vector<float>& b);

}  // namespace corvalen_test
