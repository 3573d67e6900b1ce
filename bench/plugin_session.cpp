#include "bench/plugin_session.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "vst_host/host.h"
#include "vst_host/plugin_library.h"

namespace corvalen::bench {
namespace {

// The library, loaded once per process and never unloaded (benchmarks reuse it): the path in
// the environment's CORVALEN_PLUGIN_PATH if set, else the build's own library.
const vsthost::PluginLibrary& library() {
    static const vsthost::PluginLibrary* const loaded = [] {
        const char* fromEnvironment = std::getenv("CORVALEN_PLUGIN_PATH");
        const std::string path =
            fromEnvironment && *fromEnvironment ? fromEnvironment : CORVALEN_PLUGIN_PATH;
        try {
            return new vsthost::PluginLibrary(path);
        } catch (const vsthost::LoadError& error) {
            std::fprintf(stderr, "%s\n", error.what());
            std::exit(2);
        }
    }();
    return *loaded;
}

// Answers the version query of `main` and nothing else, without logging.
vsthost::Host& quietHost() {
    static vsthost::Host* const host = [] {
        auto* made = new vsthost::Host(vsthost::HostProfile::kVersionOnly);
        made->setLogging(false);
        return made;
    }();
    return *host;
}

}  // namespace

PluginSession::PluginSession(VstInt32 blockSize)
    : blockSize_(blockSize), buffers_(static_cast<std::size_t>(blockSize), 0.0f, 0, 2) {
    AEffect* record = quietHost().open(library());
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
