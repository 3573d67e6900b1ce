// A minimal host for measurements, built on vst_host: loads the built Corvalen library, calls
// its `main` and drives the effect only through the record's entry points, as a host's audio
// thread does. Nothing in it logs, locks or allocates while rendering, so what is measured is
// the plug-in's own cost.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "vst_host/audio_block.h"
#include "vst_host/effect.h"
#include "vst_host/event_list.h"
#include "vst_host/event_scheduler.h"

namespace corvalen::bench {

using vsthost::TimedEvent;

// One plug-in object with stereo output buffers of a fixed block size.
class PluginSession {
public:
    explicit PluginSession(VstInt32 blockSize);
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    AEffect* record() const { return effect_->record(); }
    VstInt32 blockSize() const { return blockSize_; }

    // Renders whole blocks covering at least `frames` samples; each event goes in the list sent
    // before the block that holds its frame (counted from this call's first frame), as
    // vsthost::EventScheduler places it. At most kMaxEvents events.
    void play(const std::vector<vsthost::TimedEvent>& events, std::int64_t frames);
    void setParameter(VstInt32 index, float value) { effect_->setParameter(index, value); }
    // One block through the processReplacing entry.
    void renderBlock() { effect_->processReplacing(nullptr, buffers_.outputs(), blockSize_); }
    // Whole blocks covering at least `frames` samples, without events.
    void renderFrames(std::int64_t frames) { play({}, frames); }

    const float* left() const { return buffers_.left(); }

private:
    VstInt32 blockSize_;
    std::unique_ptr<vsthost::Effect> effect_;
    vsthost::AudioBlock buffers_;
    // Reserved once, so that refilling it per block allocates nothing.
    static constexpr int kMaxEvents = 16;
    vsthost::EventList events_{kMaxEvents};
};

}  // namespace corvalen::bench
