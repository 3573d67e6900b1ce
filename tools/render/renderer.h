// The host's rendering loop: events, then a block of audio, over and over.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tools/render/event_scheduler.h"
#include "tools/render/timeline.h"
#include "vst_host/plugin.h"

namespace corvalen::render {

// Where rendered audio goes, one slice at a time (channel buffers, not interleaved).
class AudioSink {
public:
    virtual ~AudioSink() = default;
    virtual void write(const float* const* channels, int channelCount, int frames) = 0;
};

// The buffers and event list of one plug-in, allocated once; rendering a block allocates
// nothing. Input buffers stay silent, so effects can be rendered too.
class BlockRenderer {
public:
    BlockRenderer(vsthost::Plugin& plugin, int maxEventsPerList);

    int maxFrames() const { return maxFrames_; }
    int channelCount() const { return static_cast<int>(outputs_.size()); }
    VstMidiEvent* eventSlots() { return eventList_.events(); }
    int eventCapacity() const { return eventList_.capacity(); }

    // Sends the first `eventCount` event slots (when there are any) and renders `frames`
    // frames (1..maxFrames()).
    void render(int eventCount, int frames);
    const float* const* outputs() const { return outputs_.data(); }

private:
    vsthost::Plugin& plugin_;
    int maxFrames_;
    EventList eventList_;
    std::vector<float> inputStorage_;
    std::vector<float> outputStorage_;
    std::vector<float*> inputs_;
    std::vector<float*> outputs_;
};

struct TailPolicy {
    // Fixed tail after the music's end, in seconds; negative: until silence.
    double seconds = -1.0;
    // "Until silence": every channel below this level for holdSeconds in a row...
    double silenceDbfs = -96.0;
    double holdSeconds = 0.5;
    // ...but never longer than this after the end.
    double capSeconds = 10.0;
};

struct RenderStats {
    std::int64_t frames = 0;
    bool tailCapped = false;  // the tail stopped at its cap without reaching silence
};

// Called after each slice with the frames done and the frames expected so far.
using ProgressCallback = std::function<void(std::int64_t done, std::int64_t expected)>;

// Resumes the plug-in, plays the timeline and the tail into `sink`, and suspends it.
RenderStats renderTimeline(vsthost::Plugin& plugin, const Timeline& timeline, int maxEventsPerList,
                           const TailPolicy& tail, AudioSink& sink,
                           const ProgressCallback& progress = nullptr);

}  // namespace corvalen::render
