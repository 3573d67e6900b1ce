// A VST 2 plug-in loaded from a shared library and driven the way a host drives it.
//
// This is the reusable host side: the library loading, the host callback and the effect
// record's entry points. Rendering (corvalen-render) and checking (a validation mode) both
// build on it; neither needs to touch the effect record directly.
#pragma once

#include <memory>
#include <string>

#include "vst_host/plugin_library.h"
#include "vst_plugin/aeffect.h"

namespace corvalen::vsthost {

// What the host answers when the plug-in asks about its environment.
struct HostSettings {
    float sampleRate = 44100.0f;
    VstInt32 blockSize = 512;
};

// Answers of this host to the plug-in's questions. Kept apart from Plugin so that the answers
// can be checked without a plug-in.
class HostServices {
public:
    static constexpr VstIntPtr kVstVersion = 2400;
    static constexpr const char* kVendor = "Corvalen project";
    static constexpr const char* kProduct = "corvalen-render";
    static constexpr VstIntPtr kVendorVersion = 1000;

    explicit HostServices(const HostSettings& settings) : settings_(settings) {}

    // Offline rendering reports the offline process level, so plug-ins may pick their best
    // quality; outside the processing calls the level is "user".
    void setProcessing(bool processing) { processing_ = processing; }

    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    // 1 for the abilities this host has, 0 for everything else.
    static VstIntPtr canDo(const char* text);

private:
    HostSettings settings_;
    bool processing_ = false;
};

// The C entry that every plug-in receives; finds the HostServices of the effect that calls.
extern "C" VstIntPtr renderHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                        VstIntPtr value, void* ptr, float opt);

class Plugin {
public:
    // Text buffers handed to the plug-in. Conventions allow 8 to 64 bytes, but plug-ins
    // overrun them; a generous zero-filled buffer keeps an overrun inside our memory.
    static constexpr int kTextBufferSize = 256;
    // More channels than this is taken as a corrupt record rather than a real plug-in. Real
    // ones go far beyond 64 (an ambisonic decoder of Debian's IEM suite has 98 outputs); the
    // bound only keeps a garbage count from asking for gigabytes of buffers.
    static constexpr VstInt32 kMaxChannels = 1024;

    // Loads the library, calls its entry point and opens the effect (effOpen), then tells it
    // the sample rate and block size. Throws LoadError.
    static std::unique_ptr<Plugin> load(const std::string& path, const HostSettings& settings);

    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;
    // Suspends a resumed effect, closes it (effClose) and unloads the library.
    ~Plugin();

    const std::string& path() const { return path_; }
    const std::string& entryName() const { return library_->entryName(); }
    const AEffect& effect() const { return *effect_; }
    const HostSettings& settings() const { return settings_; }

    VstInt32 numInputs() const { return effect_->numInputs; }
    VstInt32 numOutputs() const { return effect_->numOutputs; }
    VstInt32 numParams() const { return effect_->numParams; }
    VstInt32 numPrograms() const { return effect_->numPrograms; }
    bool isSynth() const { return (effect_->flags & effFlagsIsSynth) != 0; }
    // True when rendering goes through processReplacing; otherwise through the accumulating
    // process on zeroed buffers.
    bool usesReplacing() const;

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    // Asks for a text (name, label, display) in a zeroed buffer and returns it cut at the
    // first zero or at the buffer's end, with control characters replaced.
    std::string text(VstInt32 opcode, VstInt32 index = 0);
    // effCanDo: 1 yes, -1 no, 0 does not know (anything else is passed on as given).
    VstIntPtr canDo(const std::string& what);

    std::string effectName() { return text(effGetEffectName); }
    std::string parameterName(VstInt32 index) { return text(effGetParamName, index); }
    std::string parameterLabel(VstInt32 index) { return text(effGetParamLabel, index); }
    std::string parameterDisplay(VstInt32 index) { return text(effGetParamDisplay, index); }
    // The program's name without changing the current program when the plug-in supports
    // effGetProgramNameIndexed; otherwise selects the program, reads its name and restores.
    std::string programName(VstInt32 index);

    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);
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
    std::unique_ptr<HostServices> services_;
    // Unloaded after the destructor's body has closed the effect.
    std::unique_ptr<PluginLibrary> library_;
    AEffect* effect_ = nullptr;
    bool resumed_ = false;
};

}  // namespace corvalen::vsthost
