#include "tools/render/renderer.h"

#include <algorithm>
#include <cmath>

namespace corvalen::render {

using vsthost::densestBlock;
using vsthost::EventScheduler;

BlockRenderer::BlockRenderer(vsthost::Plugin& plugin, int eventCapacity, const AudioData* input)
    : plugin_(plugin),
      input_(input && input->channels > 0 ? input : nullptr),
      maxFrames_(std::max<VstInt32>(1, plugin.settings().blockSize)),
      eventCapacity_(std::max(1, eventCapacity)),
      eventList_(static_cast<std::size_t>(eventCapacity_)) {
    const std::size_t frames = static_cast<std::size_t>(maxFrames_);
    const std::size_t inputCount = static_cast<std::size_t>(plugin.numInputs());
    const std::size_t outputCount = static_cast<std::size_t>(plugin.numOutputs());
    inputStorage_.assign(inputCount * frames, 0.0f);
    outputStorage_.assign(outputCount * frames, 0.0f);
    for (std::size_t i = 0; i < inputCount; ++i) inputs_.push_back(&inputStorage_[i * frames]);
    for (std::size_t i = 0; i < outputCount; ++i) outputs_.push_back(&outputStorage_[i * frames]);
}

void BlockRenderer::render(int frames, std::int64_t position) {
    if (!eventList_.empty()) plugin_.sendEvents(eventList_.get());
    // A plug-in may have written into its inputs; each block starts afresh.
    if (input_) {
        fillInputs(frames, position);
    } else if (!inputStorage_.empty()) {
        std::fill(inputStorage_.begin(), inputStorage_.end(), 0.0f);
    }
    plugin_.process(inputs_.data(), outputs_.data(), frames);
}

void BlockRenderer::fillInputs(int frames, std::int64_t position) {
    const int sourceChannels = input_->channels;
    const std::int64_t available = std::max<std::int64_t>(0, input_->frames() - position);
    const int copied = static_cast<int>(std::min<std::int64_t>(frames, available));
    for (std::size_t channel = 0; channel < inputs_.size(); ++channel) {
        float* out = inputs_[channel];
        const std::size_t from = channel % static_cast<std::size_t>(sourceChannels);
        const float* in = input_->samples.data() + position * sourceChannels + from;
        for (int frame = 0; frame < copied; ++frame) out[frame] = in[frame * sourceChannels];
        std::fill(out + copied, out + maxFrames_, 0.0f);
    }
}

namespace {

// Follows how long the output has stayed below a level, across slices.
class SilenceWatch {
public:
    explicit SilenceWatch(double dbfs)
        : threshold_(static_cast<float>(std::pow(10.0, dbfs / 20.0))) {}

    void observe(const float* const* channels, int channelCount, int frames) {
        for (int frame = 0; frame < frames; ++frame) {
            bool silent = true;
            for (int channel = 0; channel < channelCount; ++channel) {
                // NaN compares false, so it counts as sound.
                if (!(std::fabs(channels[channel][frame]) < threshold_)) silent = false;
            }
            quietFrames_ = silent ? quietFrames_ + 1 : 0;
        }
    }
    std::int64_t quietFrames() const { return quietFrames_; }

private:
    float threshold_;
    std::int64_t quietFrames_ = 0;
};

}  // namespace

RenderStats renderTimeline(vsthost::Plugin& plugin, const Timeline& timeline, int maxEventsPerList,
                           const TailPolicy& tail, AudioSink& sink,
                           const ProgressCallback& progress, const AudioData* input) {
    const int blockFrames = std::max<VstInt32>(1, plugin.settings().blockSize);
    const int capacity =
        maxEventsPerList > 0 ? maxEventsPerList : densestBlock(timeline.events, blockFrames);
    BlockRenderer renderer(plugin, capacity, input);
    EventScheduler scheduler(timeline.events, renderer.eventCapacity());
    const std::int64_t musicEnd =
        std::max<std::int64_t>(timeline.endFrame, input ? input->frames() : 0);
    const double rate = plugin.settings().sampleRate;
    const bool untilSilence = tail.seconds < 0.0;
    const std::int64_t tailFrames = static_cast<std::int64_t>(
        std::llround((untilSilence ? tail.capSeconds : tail.seconds) * rate));
    const std::int64_t holdFrames =
        static_cast<std::int64_t>(std::llround(tail.holdSeconds * rate));
    const std::int64_t lastFrame = musicEnd + tailFrames;
    const std::int64_t expected = untilSilence ? musicEnd + holdFrames : lastFrame;
    SilenceWatch silence(tail.silenceDbfs);

    RenderStats stats;
    plugin.resume();
    std::int64_t position = 0;
    while (position < lastFrame || !scheduler.finished()) {
        if (untilSilence && position >= musicEnd && scheduler.finished() &&
            silence.quietFrames() >= holdFrames) {
            break;
        }
        std::int64_t remaining = std::max<std::int64_t>(1, lastFrame - position);
        // Until the music ends, blocks stop at the end so the tail starts on a block boundary
        // of its own: the silence watch then only ever looks at tail audio.
        if (position < musicEnd) remaining = std::min(remaining, musicEnd - position);
        const int want = static_cast<int>(std::min<std::int64_t>(renderer.maxFrames(), remaining));
        const EventScheduler::Slice slice = scheduler.next(position, want, renderer.events());
        renderer.render(slice.frames, position);
        sink.write(renderer.outputs(), renderer.channelCount(), slice.frames);
        if (position >= musicEnd) {
            silence.observe(renderer.outputs(), renderer.channelCount(), slice.frames);
        }
        position += slice.frames;
        if (progress) progress(position, std::max(expected, position));
    }
    plugin.suspend();
    stats.frames = position;
    stats.tailCapped = untilSilence && silence.quietFrames() < holdFrames;
    return stats;
}

}  // namespace corvalen::render
