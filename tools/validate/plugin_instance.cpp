#include "tools/validate/plugin_instance.h"

#include <cstdio>
#include <cstring>

namespace corvalen::validate {
namespace {

// The entry point runs before the record exists, so calls made from inside it cannot find
// their host through the record's `user` field.
thread_local ValidationHost* hostBeingCreated = nullptr;

constexpr VstIntPtr kProcessLevelUser = 1;
constexpr VstIntPtr kProcessLevelRealtime = 2;

extern "C" VstIntPtr validationHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                            VstIntPtr value, void* ptr, float opt) {
    ValidationHost* host = hostBeingCreated;
    if (effect && effect->user) host = static_cast<ValidationHost*>(effect->user);
    if (!host) return opcode == audioMasterVersion ? ValidationHost::kVstVersion : 0;
    return host->answer(opcode, index, value, ptr, opt);
}

void copyHostText(void* ptr, const char* text) {
    // Vendor and product buffers are 64 bytes by convention.
    if (ptr) std::snprintf(static_cast<char*>(ptr), 64, "%s", text);
}

}  // namespace

VstIntPtr ValidationHost::answer(VstInt32 opcode, VstInt32 /*index*/, VstIntPtr /*value*/,
                                 void* ptr, float /*opt*/) {
    if (opcode == audioMasterVersion) return kVstVersion;
    if (opcode == audioMasterWantMidi) ++wantMidiRequests_;
    if (opcode == audioMasterAutomate) ++automationCalls_;
    if (mode_ == HostMode::kVersionOnly) return 0;
    switch (opcode) {
        case audioMasterWantMidi:
            return 1;
        case audioMasterGetSampleRate:
            return static_cast<VstIntPtr>(sampleRate_);
        case audioMasterGetBlockSize:
            return blockSize_;
        case audioMasterWillReplaceOrAccumulate:
            return 1;
        case audioMasterGetCurrentProcessLevel:
            return processing_ ? kProcessLevelRealtime : kProcessLevelUser;
        case audioMasterGetVendorString:
            copyHostText(ptr, "Corvalen project");
            return ptr ? 1 : 0;
        case audioMasterGetProductString:
            copyHostText(ptr, "corvalen-render --validate");
            return ptr ? 1 : 0;
        case audioMasterGetVendorVersion:
            return 1000;
        case audioMasterCanDo: {
            const char* text = static_cast<const char*>(ptr);
            if (!text) return 0;
            for (const char* ability : {"sendVstEvents", "sendVstMidiEvent"}) {
                if (std::strcmp(text, ability) == 0) return 1;
            }
            return 0;
        }
        default:
            return 0;
    }
}

PluginInstance::PluginInstance(const vsthost::PluginLibrary& library, HostMode mode) : host_(mode) {
    hostBeingCreated = &host_;
    AEffect* effect = library.entry()(&validationHostCallback);
    hostBeingCreated = nullptr;
    if (!effect) throw ValidationError(library.entryName() + " returned no effect (null)");
    if (effect->magic != kVstMagic || !effect->dispatcher) {
        throw ValidationError(library.entryName() +
                              " returned a record without the VstP magic or a dispatcher");
    }
    if (!effect->setParameter || !effect->getParameter ||
        (!effect->process && !effect->processReplacing)) {
        throw ValidationError("the effect record lacks a parameter or processing entry");
    }
    if (effect->numInputs < 0 || effect->numInputs > 64 || effect->numOutputs < 0 ||
        effect->numOutputs > 64 || effect->numParams < 0 || effect->numPrograms < 0) {
        throw ValidationError("the effect record announces impossible counts");
    }
    effect->user = &host_;
    effect_ = effect;
}

PluginInstance::~PluginInstance() {
    close();
}

bool PluginInstance::offersReplacing() const {
    return effect_->processReplacing != nullptr &&
           ((effect_->flags & effFlagsCanReplacing) != 0 || effect_->process == nullptr);
}

VstIntPtr PluginInstance::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void PluginInstance::setSampleRate(float rate) {
    host_.setSampleRate(rate);
    dispatch(effSetSampleRate, 0, 0, nullptr, rate);
}

void PluginInstance::setBlockSize(VstInt32 frames) {
    host_.setBlockSize(frames);
    dispatch(effSetBlockSize, 0, frames);
}

void PluginInstance::close() {
    if (!effect_) return;
    AEffect* effect = effect_;
    effect_ = nullptr;
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

void PluginInstance::start(float rate, VstInt32 blockSize) {
    open();
    setSampleRate(rate);
    setBlockSize(blockSize);
    resume();
}

}  // namespace corvalen::validate
