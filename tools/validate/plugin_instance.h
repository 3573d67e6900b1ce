// Low-level access to a VST 2 plug-in for validation: unlike corvalen::vsthost::Plugin, nothing
// happens behind the caller's back, so a check can send the opcodes in any order it wants to
// test. An instance is a host (vsthost::Host, its answers) and one effect made with it
// (vsthost::Effect), plus the checks the validator makes on the record before driving it.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "vst_host/effect.h"
#include "vst_host/host.h"
#include "vst_host/plugin_library.h"
#include "vst_host/record_check.h"
#include "vst_plugin/aeffect.h"

namespace corvalen::validate {

class ValidationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Inside a catch block: the text of the exception being handled. A ValidationError says what
// the check observed; anything else was thrown by the plug-in.
std::string currentExceptionMessage();

using vsthost::PluginLibrary;

using vsthost::HostProfile;
using vsthost::ProcessCall;

// One effect object made by the library's entry point, closed (effClose) at destruction
// unless already closed. Every call is explicit: construction only calls the entry point.
class PluginInstance {
public:
    // Throws ValidationError when the record is not usable (vsthost::checkRecord, which here
    // also demands the parameter entries). The host reports `rate` and `blockSize` from the
    // start, as a host running a session at that rate does while the entry point runs.
    PluginInstance(const vsthost::PluginLibrary& library, HostProfile profile = HostProfile::kFull,
                   float rate = 44100.0f, VstInt32 blockSize = 512);
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    AEffect& effect() { return *effect_->record(); }
    const AEffect& effect() const { return *effect_->record(); }
    vsthost::Host& host() { return *host_; }

    VstInt32 numInputs() const { return effect().numInputs; }
    VstInt32 numOutputs() const { return effect().numOutputs; }
    VstInt32 numParams() const { return effect().numParams; }
    VstInt32 numPrograms() const { return effect().numPrograms; }
    bool isSynth() const { return (effect().flags & effFlagsIsSynth) != 0; }
    // The call a host uses for this record.
    ProcessCall preferredCall() const { return call_; }
    bool offersAccumulating() const { return effect().process != nullptr; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return effect_->dispatch(opcode, index, value, ptr, opt);
    }
    // The host reports the rate and block size it is given here as well.
    void setSampleRate(float rate);
    void setBlockSize(VstInt32 frames);
    void open() { dispatch(effOpen); }
    void resume() { effect_->resume(); }
    void suspend() { effect_->suspend(); }
    void close();

    void setParameter(VstInt32 index, float value) { effect_->setParameter(index, value); }
    float getParameter(VstInt32 index) { return effect_->getParameter(index); }

    // The usual start: effOpen, sample rate, block size, resume.
    void start(float rate, VstInt32 blockSize);

private:
    std::unique_ptr<vsthost::Host> host_;
    std::unique_ptr<vsthost::Effect> effect_;
    ProcessCall call_ = ProcessCall::kReplacing;
};

}  // namespace corvalen::validate
