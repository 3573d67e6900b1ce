// A VST 2 plug-in loaded from a shared library, opened and set up the way a sequencer does it:
// the library, a host with a real host's answers (its call log off, so a long render does not
// grow it), and the effect handle, checked for a usable record (checkRecord).
#pragma once

#include <memory>
#include <string>

#include "vst_host/effect.h"
#include "vst_host/host.h"
#include "vst_host/plugin_library.h"
#include "vst_host/record_check.h"
#include "vst_plugin/aeffect.h"

namespace corvalen::vsthost {

// What the host tells the plug-in about the stream.
struct HostSettings {
    float sampleRate = 44100.0f;
    VstInt32 blockSize = 512;
    bool live = false;  // a live host: processing calls report the "realtime" process level
};

class Plugin {
public:
    // Loads the library, calls its entry point and opens the effect (effOpen), then tells it
    // the sample rate and block size. Throws LoadError.
    static std::unique_ptr<Plugin> load(const std::string& path, const HostSettings& settings);

    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;
    // Suspends a resumed effect, closes it (effClose) and unloads the library.
    ~Plugin();

    const std::string& path() const { return path_; }
    const std::string& entryName() const { return library_->entryName(); }
    const AEffect& effect() const { return *effect_->record(); }
    const HostSettings& settings() const { return settings_; }

    VstInt32 numInputs() const { return effect().numInputs; }
    VstInt32 numOutputs() const { return effect().numOutputs; }
    VstInt32 numParams() const { return effect().numParams; }
    VstInt32 numPrograms() const { return effect().numPrograms; }
    bool isSynth() const { return (effect().flags & effFlagsIsSynth) != 0; }
    // True when rendering goes through processReplacing; otherwise through the accumulating
    // process on zeroed buffers (see checkRecord).
    bool usesReplacing() const { return call_ == ProcessCall::kReplacing; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return effect_->dispatch(opcode, index, value, ptr, opt);
    }
    // Asks for a text (name, label, display) in a guarded buffer and returns it cut at the
    // first zero or at the written extent, with control characters replaced.
    std::string text(VstInt32 opcode, VstInt32 index = 0) { return effect_->text(opcode, index); }
    // effCanDo: 1 yes, -1 no, 0 does not know (anything else is passed on as given).
    VstIntPtr canDo(const std::string& what) { return effect_->canDo(what); }

    std::string effectName() { return text(effGetEffectName); }
    std::string parameterName(VstInt32 index) { return text(effGetParamName, index); }
    std::string parameterLabel(VstInt32 index) { return text(effGetParamLabel, index); }
    std::string parameterDisplay(VstInt32 index) { return text(effGetParamDisplay, index); }
    // The program's name without changing the current program when the plug-in supports
    // effGetProgramNameIndexed; otherwise selects the program, reads its name and restores.
    std::string programName(VstInt32 index);

    void setParameter(VstInt32 index, float value) { effect_->setParameter(index, value); }
    float getParameter(VstInt32 index) { return effect_->getParameter(index); }
    void setProgram(VstInt32 index) { dispatch(effSetProgram, 0, index); }

    // effMainsChanged 1 / 0. Suspend is also sent by the destructor if needed.
    void resume();
    void suspend();
    bool resumed() const { return resumed_; }

    // Sends one event list (effProcessEvents).
    void sendEvents(VstEvents* events) { dispatch(effProcessEvents, 0, 0, events); }
    // Renders `frames` frames; inputs must hold numInputs() buffers, outputs numOutputs(),
    // each of at least `frames` samples. Without replacing support, outputs are zeroed first
    // and the accumulating entry is used.
    void process(float** inputs, float** outputs, VstInt32 frames);

private:
    Plugin(std::string path, const HostSettings& settings);
    void open();

    std::string path_;
    HostSettings settings_;
    // Declared in this order so that the effect is closed before the host goes and the
    // library is unloaded last.
    std::unique_ptr<PluginLibrary> library_;
    Host host_;
    std::unique_ptr<Effect> effect_;
    ProcessCall call_ = ProcessCall::kReplacing;
    bool resumed_ = false;
};

}  // namespace corvalen::vsthost
