#include "vst_host/plugin.h"

#include <cstring>
#include <vector>

namespace corvalen::vsthost {
namespace {

constexpr VstInt32 kMagic = ('V' << 24) | ('s' << 16) | ('t' << 8) | 'P';

// Process levels of audioMasterGetCurrentProcessLevel.
constexpr VstIntPtr kProcessLevelUser = 1;
constexpr VstIntPtr kProcessLevelOffline = 4;
// audioMasterGetAutomationState: automation off.
constexpr VstIntPtr kAutomationOff = 1;
// audioMasterGetLanguage: English.
constexpr VstIntPtr kLanguageEnglish = 1;

// While an entry point runs, the effect record does not exist yet (or its `user` field is not
// ours yet): calls made from inside it reach the services of the plug-in being loaded.
thread_local HostServices* servicesBeingLoaded = nullptr;

void copyText(void* ptr, const char* text, std::size_t capacity) {
    if (!ptr) return;
    std::strncpy(static_cast<char*>(ptr), text, capacity - 1);
    static_cast<char*>(ptr)[capacity - 1] = '\0';
}

// A text from a plug-in's buffer: up to the first zero or the buffer's end, with control
// characters made visible so that they cannot garble a terminal.
std::string textFromBuffer(const char* buffer, std::size_t size) {
    std::string text(buffer, strnlen(buffer, size));
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return text;
}

}  // namespace

VstIntPtr HostServices::canDo(const char* text) {
    if (!text) return 0;
    static const char* const kAbilities[] = {"sendVstEvents", "sendVstMidiEvent",
                                             "sendVstMidiEventFlagIsRealtime"};
    for (const char* ability : kAbilities) {
        if (std::strcmp(text, ability) == 0) return 1;
    }
    return 0;
}

VstIntPtr HostServices::answer(VstInt32 opcode, VstInt32 /*index*/, VstIntPtr /*value*/, void* ptr,
                               float /*opt*/) {
    switch (opcode) {
        case audioMasterVersion:
            return kVstVersion;
        case audioMasterWantMidi:
            return 1;
        case audioMasterGetSampleRate:
            return static_cast<VstIntPtr>(settings_.sampleRate);
        case audioMasterGetBlockSize:
            return settings_.blockSize;
        case audioMasterWillReplaceOrAccumulate:
            return 1;  // replace
        case audioMasterGetCurrentProcessLevel:
            return processing_ ? kProcessLevelOffline : kProcessLevelUser;
        case audioMasterGetAutomationState:
            return kAutomationOff;
        case audioMasterGetLanguage:
            return kLanguageEnglish;
        case audioMasterGetVendorVersion:
            return kVendorVersion;
        // Vendor and product buffers are 64 bytes by convention.
        case audioMasterGetVendorString:
            copyText(ptr, kVendor, 64);
            return ptr ? 1 : 0;
        case audioMasterGetProductString:
            copyText(ptr, kProduct, 64);
            return ptr ? 1 : 0;
        case audioMasterCanDo:
            return canDo(static_cast<const char*>(ptr));
        default:
            // Time info, automation, window and offline services, latencies, unknown opcodes:
            // not offered. 0 is the answer a plug-in must cope with for each of them.
            return 0;
    }
}

extern "C" VstIntPtr renderHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                        VstIntPtr value, void* ptr, float opt) {
    HostServices* services = nullptr;
    if (effect && effect->user) {
        services = static_cast<HostServices*>(effect->user);
    } else {
        services = servicesBeingLoaded;
    }
    if (!services) {
        // A call from a plug-in we no longer know (or from another thread during loading):
        // the version is the one answer a plug-in may need to stay alive.
        return opcode == audioMasterVersion ? HostServices::kVstVersion : 0;
    }
    return services->answer(opcode, index, value, ptr, opt);
}

Plugin::Plugin(std::string path, const HostSettings& settings)
    : path_(std::move(path)),
      settings_(settings),
      services_(std::make_unique<HostServices>(settings)) {}

std::unique_ptr<Plugin> Plugin::load(const std::string& path, const HostSettings& settings) {
    std::unique_ptr<Plugin> plugin(new Plugin(path, settings));
    plugin->library_ = std::make_unique<PluginLibrary>(path);
    plugin->open();
    return plugin;
}

void Plugin::open() {
    const std::string& entryName = library_->entryName();
    servicesBeingLoaded = services_.get();
    AEffect* effect = library_->entry()(&renderHostCallback);
    servicesBeingLoaded = nullptr;
    if (!effect) {
        throw LoadError(LoadFailure::kNoEffect,
                        path_ + ": " + entryName + " returned no effect (null record)");
    }
    if (effect->magic != kMagic || !effect->dispatcher) {
        throw LoadError(LoadFailure::kNoEffect,
                        path_ + ": " + entryName + " returned a record that is not a VST 2 effect");
    }
    effect->user = services_.get();
    effect_ = effect;

    dispatch(effOpen);
    if (effect_->numInputs < 0 || effect_->numInputs > kMaxChannels || effect_->numOutputs < 0 ||
        effect_->numOutputs > kMaxChannels || effect_->numParams < 0 || effect_->numPrograms < 0) {
        throw LoadError(LoadFailure::kNoEffect,
                        path_ + ": the effect record announces impossible counts (inputs " +
                            std::to_string(effect_->numInputs) + ", outputs " +
                            std::to_string(effect_->numOutputs) + ", parameters " +
                            std::to_string(effect_->numParams) + ", programs " +
                            std::to_string(effect_->numPrograms) + "; channels may number 0 to " +
                            std::to_string(kMaxChannels) + ")");
    }
    if (!effect_->processReplacing && !effect_->process) {
        throw LoadError(LoadFailure::kNoEffect, path_ + ": the effect has no processing entry");
    }
    dispatch(effSetSampleRate, 0, 0, nullptr, settings_.sampleRate);
    dispatch(effSetBlockSize, 0, settings_.blockSize);
}

Plugin::~Plugin() {
    if (effect_) {
        if (resumed_) suspend();
        dispatch(effClose);
        effect_ = nullptr;
    }
}

bool Plugin::usesReplacing() const {
    if (!effect_->processReplacing) return false;
    return (effect_->flags & effFlagsCanReplacing) != 0 || !effect_->process;
}

VstIntPtr Plugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string Plugin::text(VstInt32 opcode, VstInt32 index) {
    char buffer[kTextBufferSize] = {};
    dispatch(opcode, index, 0, buffer);
    return textFromBuffer(buffer, sizeof buffer);
}

VstIntPtr Plugin::canDo(const std::string& what) {
    std::vector<char> buffer(what.begin(), what.end());
    buffer.push_back('\0');
    return dispatch(effCanDo, 0, 0, buffer.data());
}

std::string Plugin::programName(VstInt32 index) {
    char buffer[kTextBufferSize] = {};
    if (dispatch(effGetProgramNameIndexed, index, 0, buffer) == 0) {
        const VstIntPtr current = dispatch(effGetProgram);
        setProgram(index);
        std::string name = text(effGetProgramName);
        setProgram(static_cast<VstInt32>(current));
        return name;
    }
    return textFromBuffer(buffer, sizeof buffer);
}

void Plugin::setParameter(VstInt32 index, float value) {
    if (effect_->setParameter) effect_->setParameter(effect_, index, value);
}

float Plugin::getParameter(VstInt32 index) {
    return effect_->getParameter ? effect_->getParameter(effect_, index) : 0.0f;
}

void Plugin::resume() {
    dispatch(effMainsChanged, 0, 1);
    resumed_ = true;
}

void Plugin::suspend() {
    dispatch(effMainsChanged, 0, 0);
    resumed_ = false;
}

void Plugin::process(float** inputs, float** outputs, VstInt32 frames) {
    services_->setProcessing(true);
    if (usesReplacing()) {
        effect_->processReplacing(effect_, inputs, outputs, frames);
    } else {
        for (VstInt32 channel = 0; channel < effect_->numOutputs; ++channel) {
            std::memset(outputs[channel], 0, sizeof(float) * static_cast<std::size_t>(frames));
        }
        effect_->process(effect_, inputs, outputs, frames);
    }
    services_->setProcessing(false);
}

}  // namespace corvalen::vsthost
