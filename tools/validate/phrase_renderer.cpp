#include "tools/validate/phrase_renderer.h"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace corvalen::validate {
namespace {

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

Phrase& Phrase::add(std::int64_t frame, unsigned char status, unsigned char data1,
                    unsigned char data2) {
    events.push_back(vsthost::timedEvent(frame, status, data1, data2));
    return *this;
}

Phrase& Phrase::noteOn(std::int64_t frame, int note, int velocity) {
    return add(frame, 0x90, static_cast<unsigned char>(note), static_cast<unsigned char>(velocity));
}

Phrase& Phrase::noteOff(std::int64_t frame, int note) {
    return add(frame, 0x80, static_cast<unsigned char>(note), 0);
}

float garbageAt(std::size_t channel, std::int64_t frame) {
    // Values around ±0.4 that no plausible plug-in output would match by chance.
    const std::int64_t mixed = (frame * 7919 + static_cast<std::int64_t>(channel) * 104729) % 2003;
    return static_cast<float>(mixed - 1001) * 0.000390625f + 0.0078125f;
}

float testInputAt(std::size_t channel, std::int64_t frame, std::int64_t inputFrames) {
    if (frame >= inputFrames || frame < 0) return 0.0f;
    constexpr double kTwoPi = 6.283185307179586;
    const double seconds = static_cast<double>(frame) / 44100.0;
    const double sine = 0.3 * std::sin(kTwoPi * static_cast<double>(frame % 100) / 100.0);
    // 110 Hz rising by 220 Hz per second, slightly detuned per channel.
    const double glide =
        0.2 *
        std::sin(kTwoPi * (110.0 + 5.0 * static_cast<double>(channel) + 110.0 * seconds) * seconds);
    // 10 ms of noise every quarter second, from an integer hash of the frame.
    double noise = 0.0;
    if (frame % 11025 < 441) {
        std::uint32_t x = static_cast<std::uint32_t>(frame) * 2654435761u +
                          static_cast<std::uint32_t>(channel) * 40503u;
        x ^= x >> 15;
        x *= 2246822519u;
        x ^= x >> 13;
        noise = 0.15 * (static_cast<double>(x & 0xFFFF) / 32768.0 - 1.0);
    }
    return static_cast<float>(sine + glide + noise);
}

namespace {

// The buffers, the event list and the counters of one phrase render, allocated before the first
// block: while processing, only the plug-in may allocate (what no-allocation measures).
class PhraseRender {
public:
    PhraseRender(PluginInstance& instance, const Phrase& phrase, const RenderSettings& settings);
    RenderResult run();

private:
    void fillBuffers(std::int64_t start, std::size_t frames);
    void processBlock(VstEvents* events, std::size_t frames);
    void addCounts(const WaitCalls* waits, const HeapCalls* heap);

    PluginInstance& instance_;
    const Phrase& phrase_;
    const RenderSettings& settings_;
    std::size_t block_;
    std::int64_t inputFrames_;
    ProcessCall call_;
    bool prefillGarbage_;
    std::vector<std::vector<float>> inputStorage_;
    std::vector<std::vector<float>> outputStorage_;
    std::vector<float*> inputs_;
    std::vector<float*> outputs_;
    vsthost::EventList list_;
    RenderResult result_;
};

PhraseRender::PhraseRender(PluginInstance& instance, const Phrase& phrase,
                           const RenderSettings& settings)
    : instance_(instance),
      phrase_(phrase),
      settings_(settings),
      block_(static_cast<std::size_t>(std::max(1, settings.blockSize))),
      inputFrames_(settings.inputFrames >= 0 ? settings.inputFrames : phrase.frames / 2),
      // A plug-in without the call asked for gets the other one.
      call_(vsthost::availableCall(instance.effect(), settings.call)),
      // Garbage in the buffers of an accumulating call that was not asked for would be added
      // to the output.
      prefillGarbage_(settings.prefillGarbage && (call_ == ProcessCall::kReplacing ||
                                                  settings.call == ProcessCall::kAccumulating)),
      inputStorage_(static_cast<std::size_t>(instance.numInputs()), std::vector<float>(block_)),
      outputStorage_(static_cast<std::size_t>(instance.numOutputs()), std::vector<float>(block_)),
      inputs_(std::max<std::size_t>(inputStorage_.size(), 1), nullptr),
      outputs_(std::max<std::size_t>(outputStorage_.size(), 1), nullptr),
      // Every block may hold every event, as when a whole phrase lands in one block.
      list_(phrase.events.size()) {
    for (std::size_t i = 0; i < inputStorage_.size(); ++i) inputs_[i] = inputStorage_[i].data();
    for (std::size_t i = 0; i < outputStorage_.size(); ++i) outputs_[i] = outputStorage_[i].data();
    result_.audio.assign(outputStorage_.size(),
                         std::vector<float>(static_cast<std::size_t>(phrase.frames)));
    if (settings.timeBlocks) {
        result_.blockCpuSeconds.reserve(static_cast<std::size_t>(phrase.frames) / block_ + 1);
    }
}

RenderResult PhraseRender::run() {
    // Plug-ins that draw from the C library's generator (noise bursts, random phases) give the
    // same samples for the same events only if every render starts from the same state.
    std::srand(1);
    vsthost::EventScheduler scheduler(phrase_.events, static_cast<int>(phrase_.events.size()));
    for (std::int64_t start = 0; start < phrase_.frames;
         start += static_cast<std::int64_t>(block_)) {
        const std::size_t frames = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(block_), phrase_.frames - start));
        if (settings_.beforeBlock) settings_.beforeBlock(start);
        scheduler.next(start, static_cast<int>(frames), list_);
        fillBuffers(start, frames);
        processBlock(list_.get(), frames);
        for (std::size_t c = 0; c < outputStorage_.size(); ++c) {
            std::copy(outputStorage_[c].begin(),
                      outputStorage_[c].begin() + static_cast<std::ptrdiff_t>(frames),
                      result_.audio[c].begin() + start);
        }
    }
    return std::move(result_);
}

void PhraseRender::fillBuffers(std::int64_t start, std::size_t frames) {
    const bool feedInput = !instance_.isSynth();
    for (std::size_t c = 0; c < inputStorage_.size(); ++c) {
        for (std::size_t i = 0; i < frames; ++i) {
            const std::int64_t frame = start + static_cast<std::int64_t>(i);
            float sample = 0.0f;
            if (feedInput && settings_.input == InputSignal::kTestSignal) {
                sample = testInputAt(c, frame, inputFrames_);
            } else if (feedInput && settings_.input == InputSignal::kImpulse) {
                sample = frame == 0 ? 0.5f : 0.0f;
            }
            inputStorage_[c][i] = sample;
        }
    }
    for (std::size_t c = 0; c < outputStorage_.size(); ++c) {
        for (std::size_t i = 0; i < frames; ++i) {
            outputStorage_[c][i] =
                prefillGarbage_ ? garbageAt(c, start + static_cast<std::int64_t>(i)) : 0.0f;
        }
    }
}

void PhraseRender::processBlock(VstEvents* events, std::size_t frames) {
    AEffect& effect = instance_.effect();
    ProcessEntry entry =
        call_ == ProcessCall::kReplacing ? effect.processReplacing : effect.process;
    instance_.host().setProcessing(true);
    const double cpuBefore = settings_.timeBlocks ? threadCpuSeconds() : 0.0;
    if (settings_.countHeap) HeapCounter::startCounting();
    if (settings_.countWaits) {
        WaitCounter::startCounting(reinterpret_cast<const void*>(effect.dispatcher));
    }
    effect.dispatcher(&effect, effProcessEvents, 0, 0, events, 0.0f);
    entry(&effect, inputs_.data(), outputs_.data(), static_cast<VstInt32>(frames));
    WaitCalls waits;
    if (settings_.countWaits) waits = WaitCounter::stopCounting();
    HeapCalls heap;
    if (settings_.countHeap) heap = HeapCounter::stopCounting();
    if (settings_.timeBlocks) result_.blockCpuSeconds.push_back(threadCpuSeconds() - cpuBefore);
    instance_.host().setProcessing(false);
    addCounts(settings_.countWaits ? &waits : nullptr, settings_.countHeap ? &heap : nullptr);
}

void PhraseRender::addCounts(const WaitCalls* waits, const HeapCalls* heap) {
    if (waits) {
        result_.waits.locks += waits->locks;
        result_.waits.waits += waits->waits;
        result_.waits.sleeps += waits->sleeps;
        if (!result_.waits.first) result_.waits.first = waits->first;
    }
    if (heap) {
        result_.heap.allocations += heap->allocations;
        result_.heap.releases += heap->releases;
    }
}

}  // namespace

RenderResult renderPhrase(PluginInstance& instance, const Phrase& phrase,
                          const RenderSettings& settings) {
    return PhraseRender(instance, phrase, settings).run();
}

}  // namespace corvalen::validate
