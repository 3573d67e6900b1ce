#include "vst_host/plugin.h"

#include <cstring>
#include <utility>

namespace corvalen::vsthost {

Plugin::Plugin(std::string path, const HostSettings& settings)
    : path_(std::move(path)), settings_(settings) {
    host_.setLogging(false);
    host_.setSampleRate(settings.sampleRate);
    host_.setBlockSize(settings.blockSize);
    host_.setLive(settings.live);
}

std::unique_ptr<Plugin> Plugin::load(const std::string& path, const HostSettings& settings) {
    std::unique_ptr<Plugin> plugin(new Plugin(path, settings));
    plugin->library_ = std::make_unique<PluginLibrary>(path);
    plugin->open();
    return plugin;
}

void Plugin::open() {
    AEffect* record = host_.open(*library_);
    const std::string& entryName = library_->entryName();
    // The counts are judged after effOpen, which may still set them; only a record that can
    // be called at all is opened.
    if (!isEffectRecord(record)) {
        throw LoadError(LoadFailure::kNoEffect,
                        path_ + ": " + checkRecord(record, entryName).problem);
    }
    effect_ = std::make_unique<Effect>(record);
    dispatch(effOpen);
    const RecordCheck check = checkRecord(record, entryName);
    if (!check.usable()) throw LoadError(LoadFailure::kNoEffect, path_ + ": " + check.problem);
    call_ = check.call;
    effect_->setSampleRate(settings_.sampleRate);
    effect_->setBlockSize(settings_.blockSize);
}

Plugin::~Plugin() {
    if (effect_ && effect_->isOpen()) {
        if (resumed_) suspend();
        effect_->close();
    }
}

std::string Plugin::programName(VstInt32 index) {
    const TextResult indexed = effect_->readText(effGetProgramNameIndexed, index);
    if (indexed.result == 0) {
        const VstIntPtr current = dispatch(effGetProgram);
        setProgram(index);
        std::string name = text(effGetProgramName);
        setProgram(static_cast<VstInt32>(current));
        return name;
    }
    return printableText(indexed.text);
}

void Plugin::resume() {
    effect_->resume();
    resumed_ = true;
}

void Plugin::suspend() {
    effect_->suspend();
    resumed_ = false;
}

void Plugin::process(float** inputs, float** outputs, VstInt32 frames) {
    host_.setProcessing(true);
    if (usesReplacing()) {
        effect_->processReplacing(inputs, outputs, frames);
    } else {
        for (VstInt32 channel = 0; channel < numOutputs(); ++channel) {
            std::memset(outputs[channel], 0, sizeof(float) * static_cast<std::size_t>(frames));
        }
        effect_->process(inputs, outputs, frames);
    }
    host_.setProcessing(false);
}

}  // namespace corvalen::vsthost
