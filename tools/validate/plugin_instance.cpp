#include "tools/validate/plugin_instance.h"

#include <exception>

namespace corvalen::validate {

std::string currentExceptionMessage() {
    try {
        throw;
    } catch (const ValidationError& error) {
        return error.what();
    } catch (const std::exception& error) {
        return std::string("the plug-in threw an exception: ") + error.what();
    } catch (...) {
        return "the plug-in threw an exception";
    }
}

PluginInstance::PluginInstance(const vsthost::PluginLibrary& library, HostProfile profile,
                               float rate, VstInt32 blockSize)
    : host_(std::make_unique<vsthost::Host>(profile)) {
    // The log would grow (and allocate) with every call a plug-in makes while processing.
    host_->setLogging(false);
    host_->setSampleRate(rate);
    host_->setBlockSize(blockSize);
    AEffect* record = host_->open(library);
    vsthost::RecordDemands demands;
    demands.parameterEntries = true;
    const vsthost::RecordCheck check = vsthost::checkRecord(record, library.entryName(), demands);
    if (vsthost::isEffectRecord(record)) effect_ = std::make_unique<vsthost::Effect>(record);
    if (!check.usable()) {
        close();
        throw ValidationError(check.problem);
    }
    call_ = check.call;
}

PluginInstance::~PluginInstance() {
    close();
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
