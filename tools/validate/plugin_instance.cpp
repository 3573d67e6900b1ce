#include "tools/validate/plugin_instance.h"

namespace corvalen::validate {

PluginInstance::PluginInstance(const vsthost::PluginLibrary& library, HostMode mode, float rate,
                               VstInt32 blockSize)
    : host_(std::make_unique<vsthost::Host>(mode == HostMode::kFull
                                                ? vsthost::HostProfile::kFull
                                                : vsthost::HostProfile::kVersionOnly)) {
    // The log would grow (and allocate) with every call a plug-in makes while processing.
    host_->setLogging(false);
    host_->setSampleRate(rate);
    host_->setBlockSize(blockSize);
    AEffect* record = host_->open(library);
    if (!record) throw ValidationError(library.entryName() + " returned no effect (null)");
    if (!vsthost::isEffectRecord(record)) {
        throw ValidationError(library.entryName() +
                              " returned a record without the VstP magic or a dispatcher");
    }
    effect_ = std::make_unique<vsthost::Effect>(record);
    if (!record->setParameter || !record->getParameter ||
        (!record->process && !record->processReplacing)) {
        effect_->close();
        throw ValidationError("the effect record lacks a parameter or processing entry");
    }
    // Channel counts: samplers with direct outputs announce about a hundred; thousands would
    // be no real plug-in's.
    constexpr VstInt32 kMaxChannels = 1024;
    if (record->numInputs < 0 || record->numInputs > kMaxChannels || record->numOutputs < 0 ||
        record->numOutputs > kMaxChannels || record->numParams < 0 || record->numPrograms < 0) {
        effect_->close();
        throw ValidationError("the effect record announces impossible counts");
    }
}

PluginInstance::~PluginInstance() {
    close();
}

bool PluginInstance::offersReplacing() const {
    return effect().processReplacing != nullptr &&
           ((effect().flags & effFlagsCanReplacing) != 0 || effect().process == nullptr);
}

void PluginInstance::setSampleRate(float rate) {
    host_->setSampleRate(rate);
    effect_->setSampleRate(rate);
}

void PluginInstance::setBlockSize(VstInt32 frames) {
    host_->setBlockSize(frames);
    effect_->setBlockSize(frames);
}

void PluginInstance::close() {
    if (effect_ && effect_->isOpen()) effect_->close();
}

void PluginInstance::start(float rate, VstInt32 blockSize) {
    open();
    setSampleRate(rate);
    setBlockSize(blockSize);
    resume();
}

}  // namespace corvalen::validate
