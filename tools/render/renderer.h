// The host's rendering loop: events, then a block of audio, over and over.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tools/render/audio_file.h"
#include "tools/render/timeline.h"
#include "vst_host/event_scheduler.h"
#include "vst_host/plugin.h"

namespace corvalen::render {

// Where rendered audio goes, one slice at a time (channel buffers, not interleaved).
class AudioSink {
public:
    virtual ~AudioSink() = default;
    virtual void write(const float* const* channels, int channelCount, int frames) = 0;
};

// The buffers and event list of one plug-in, allocated once; rendering a block allocates
// nothing. Input buffers are silent, or carry `input` (interleaved at the plug-in's rate; its
// channels repeat over the plug-in's inputs when it has fewer).
class BlockRenderer {
public:
    BlockRenderer(vsthost::Plugin& plugin, int eventCapacity, const AudioData* input = nullptr);

    int maxFrames() const { return maxFrames_; }
    int channelCount() const { return static_cast<int>(outputs_.size()); }
    // The list sent before the next block; reserved for `eventCapacity` events.
    vsthost::EventList& events() { return eventList_; }
    int eventCapacity() const { return eventCapacity_; }

    // Sends the event list (when it holds events) and renders `frames` frames
    // (1..maxFrames()) starting at frame `position`.
    void render(int frames, std::int64_t position = 0);
    const float* const* outputs() const { return outputs_.data(); }

private:
    void fillInputs(int frames, std::int64_t position);

    vsthost::Plugin& plugin_;
    const AudioData* input_;
    int maxFrames_;
    int eventCapacity_;
    vsthost::EventList eventList_;
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

// Resumes the plug-in, plays the timeline (and `input`, if any: the music lasts at least as
// long) and the tail into `sink`, and suspends it. `maxEventsPerList` 0 sends each block's
// events in one list; more caps the lists (see EventScheduler).
RenderStats renderTimeline(vsthost::Plugin& plugin, const Timeline& timeline, int maxEventsPerList,
                           const TailPolicy& tail, AudioSink& sink,
                           const ProgressCallback& progress = nullptr,
                           const AudioData* input = nullptr);

}  // namespace corvalen::render
