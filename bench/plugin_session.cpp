#include "bench/plugin_session.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "tests/support/plugin_under_test.h"

namespace corvalen::bench {
namespace {

// The build's library, or the one CORVALEN_PLUGIN_PATH names; a benchmark cannot run without.
const vsthost::PluginLibrary& library() {
    try {
        return test::pluginUnderTest();
    } catch (const vsthost::LoadError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        std::exit(2);
    }
}

}  // namespace

PluginSession::PluginSession(VstInt32 blockSize)
    : blockSize_(blockSize), buffers_(static_cast<std::size_t>(blockSize), 0.0f, 0, 2) {
    AEffect* record = test::bareHost().open(library());
    if (record == nullptr) throw std::runtime_error("main answered null");
    effect_ = std::make_unique<vsthost::Effect>(record);
    effect_->setSampleRate(44100.0f);
    effect_->setBlockSize(blockSize);
    effect_->resume();
}

PluginSession::~PluginSession() {
    effect_->suspend();
}

void PluginSession::sendMidi(const std::vector<MidiMessage>& messages) {
    if (messages.size() > static_cast<std::size_t>(kMaxEvents)) {
        throw std::length_error("too many events for one list");
    }
    events_.clear();
    for (const MidiMessage& message : messages) events_.add(message);
    effect_->sendEvents(events_);
}

void PluginSession::renderFrames(std::int64_t frames) {
    for (std::int64_t done = 0; done < frames; done += blockSize_) renderBlock();
}

}  // namespace corvalen::bench
