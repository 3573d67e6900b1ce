// A minimal host for measurements: loads the built Corvalen library, calls its `main` and drives
// the effect only through the record's entry points, as a host's audio thread does. Nothing in
// it logs, locks or allocates while rendering, so what is measured is the plug-in's own cost.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vst_plugin/aeffect.h"

namespace corvalen_bench {

// The library, loaded once per process and never unloaded (benchmarks reuse it).
class PluginLibrary {
public:
    // The path in CORVALEN_PLUGIN if set, else the build's own library.
    static PluginEntry entry();
};

// One MIDI message for the coming block.
struct MidiMessage {
    VstInt32 deltaFrames;
    std::uint8_t status;
    std::uint8_t data1;
    std::uint8_t data2;
};

// One plug-in object with stereo output buffers of a fixed block size.
class PluginSession {
public:
    explicit PluginSession(VstInt32 blockSize);
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    AEffect* record() const { return effect_; }
    VstInt32 blockSize() const { return blockSize_; }

    // Sends the messages as one event list (opcode 25); they act in the next block.
    void sendMidi(const std::vector<MidiMessage>& messages);
    void setParameter(VstInt32 index, float value) { effect_->setParameter(effect_, index, value); }
    // One block through the processReplacing entry.
    void renderBlock() { effect_->processReplacing(effect_, nullptr, outputs_, blockSize_); }
    // Whole blocks covering at least `frames` samples.
    void renderFrames(std::int64_t frames);

    const float* left() const { return left_.data(); }

private:
    AEffect* effect_ = nullptr;
    VstInt32 blockSize_;
    std::vector<float> left_;
    std::vector<float> right_;
    float* outputs_[2];
    // Storage for one event list of up to kMaxEvents events, reused by every sendMidi.
    static constexpr int kMaxEvents = 16;
    std::vector<VstMidiEvent> events_;
    std::vector<std::intptr_t> list_;
};

}  // namespace corvalen_bench
