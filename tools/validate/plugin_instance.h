// Low-level access to a VST 2 plug-in for validation: unlike corvalen::render::Plugin, nothing
// happens behind the caller's back, so a check can send the opcodes in any order it wants to test.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "vst_host/plugin_library.h"
#include "vst_plugin/aeffect.h"

namespace corvalen::validate {

class ValidationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Loading failures are corvalen::render::LoadError, as for the renderer.
using vsthost::PluginLibrary;

// How the host answers the plug-in's questions.
enum class HostMode {
    kFull,         // sample rate, block size, version, replace, process level, canDo...
    kVersionOnly,  // the version query answers 2400, every other opcode 0
};

// The host side of one effect: its answers, and what the plug-in asked for.
class ValidationHost {
public:
    static constexpr VstIntPtr kVstVersion = 2400;

    explicit ValidationHost(HostMode mode) : mode_(mode) {}

    void setSampleRate(float rate) { sampleRate_ = rate; }
    void setBlockSize(VstInt32 frames) { blockSize_ = frames; }
    void setProcessing(bool processing) { processing_ = processing; }
    int wantMidiRequests() const { return wantMidiRequests_; }
    int automationCalls() const { return automationCalls_; }

    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

private:
    HostMode mode_;
    float sampleRate_ = 44100.0f;
    VstInt32 blockSize_ = 512;
    bool processing_ = false;
    int wantMidiRequests_ = 0;
    int automationCalls_ = 0;
};

// One effect object made by the library's entry point, closed (effClose) at destruction
// unless already closed. Every call is explicit: construction only calls the entry point.
class PluginInstance {
public:
    // Throws ValidationError when the entry point gives no record or a record without the
    // VST 2 magic or a dispatcher.
    PluginInstance(const vsthost::PluginLibrary& library, HostMode mode = HostMode::kFull);
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    AEffect& effect() { return *effect_; }
    const AEffect& effect() const { return *effect_; }
    ValidationHost& host() { return host_; }

    VstInt32 numInputs() const { return effect_->numInputs; }
    VstInt32 numOutputs() const { return effect_->numOutputs; }
    VstInt32 numParams() const { return effect_->numParams; }
    VstInt32 numPrograms() const { return effect_->numPrograms; }
    bool isSynth() const { return (effect_->flags & effFlagsIsSynth) != 0; }
    bool offersReplacing() const;
    bool offersAccumulating() const { return effect_->process != nullptr; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void setSampleRate(float rate);
    void setBlockSize(VstInt32 frames);
    void open() { dispatch(effOpen); }
    void resume() { dispatch(effMainsChanged, 0, 1); }
    void suspend() { dispatch(effMainsChanged, 0, 0); }
    void close();
    bool closed() const { return effect_ == nullptr; }

    void setParameter(VstInt32 index, float value) { effect_->setParameter(effect_, index, value); }
    float getParameter(VstInt32 index) { return effect_->getParameter(effect_, index); }

    // The usual start: effOpen, sample rate, block size, resume.
    void start(float rate, VstInt32 blockSize);

private:
    ValidationHost host_;
    AEffect* effect_ = nullptr;
};

// The record's magic, 'VstP'.
constexpr VstInt32 kVstMagic = ('V' << 24) | ('s' << 16) | ('t' << 8) | 'P';

}  // namespace corvalen::validate
