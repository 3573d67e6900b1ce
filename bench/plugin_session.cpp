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

void PluginSession::play(const std::vector<vsthost::TimedEvent>& events, std::int64_t frames) {
    if (events.size() > static_cast<std::size_t>(kMaxEvents)) {
        throw std::length_error("too many events for one list");
    }
    // With room for every event in one list, no slice is cut short of a whole block.
    vsthost::EventScheduler scheduler(events, kMaxEvents);
    std::int64_t done = 0;
    for (; done < frames && !scheduler.finished(); done += blockSize_) {
        scheduler.next(done, blockSize_, events_);
        if (!events_.empty()) effect_->sendEvents(events_);
        renderBlock();
    }
    // Once every event is sent, the blocks are what is measured: nothing of the host between.
    for (; done < frames; done += blockSize_) renderBlock();
}

}  // namespace corvalen::bench
