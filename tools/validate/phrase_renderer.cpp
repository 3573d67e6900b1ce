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
    events.push_back(TimedMidi{frame, status, data1, data2});
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

RenderResult renderPhrase(PluginInstance& instance, const Phrase& phrase,
                          const RenderSettings& settings) {
    const std::size_t block = static_cast<std::size_t>(std::max(1, settings.blockSize));
    const std::size_t outputCount = static_cast<std::size_t>(instance.numOutputs());
    const std::size_t inputCount = static_cast<std::size_t>(instance.numInputs());
    const bool feedInput = !instance.isSynth();
    const std::int64_t inputFrames =
        settings.inputFrames >= 0 ? settings.inputFrames : phrase.frames / 2;
    // A plug-in without replacing processing gets the accumulating call on zeroed buffers.
    const bool replacing = instance.effect().processReplacing &&
                           (settings.call == ProcessCall::kReplacing || !instance.effect().process);
    const bool prefillGarbage =
        settings.prefillGarbage && (replacing || settings.call == ProcessCall::kAccumulating);

    std::vector<std::vector<float>> inputStorage(inputCount, std::vector<float>(block));
    std::vector<std::vector<float>> outputStorage(outputCount, std::vector<float>(block));
    std::vector<float*> inputs(std::max<std::size_t>(inputCount, 1), nullptr);
    std::vector<float*> outputs(std::max<std::size_t>(outputCount, 1), nullptr);
    for (std::size_t i = 0; i < inputCount; ++i) inputs[i] = inputStorage[i].data();
    for (std::size_t i = 0; i < outputCount; ++i) outputs[i] = outputStorage[i].data();

    // Every block may hold every event, as when a whole phrase lands in one block; reserved
    // here, refilling the list allocates nothing while processing.
    vsthost::EventList list(phrase.events.size());
    RenderResult result;
    result.audio.assign(outputCount, std::vector<float>(static_cast<std::size_t>(phrase.frames)));
    if (settings.timeBlocks) {
        result.blockCpuSeconds.reserve(static_cast<std::size_t>(phrase.frames) / block + 1);
    }

    // Plug-ins that draw from the C library's generator (noise bursts, random phases) give the
    // same samples for the same events only if every render starts from the same state.
    std::srand(1);
    std::size_t nextEvent = 0;
    for (std::int64_t start = 0; start < phrase.frames; start += static_cast<std::int64_t>(block)) {
        const std::int64_t frames =
            std::min<std::int64_t>(static_cast<std::int64_t>(block), phrase.frames - start);
        const std::size_t n = static_cast<std::size_t>(frames);
        if (settings.beforeBlock) settings.beforeBlock(start);

        std::size_t count = 0;
        while (nextEvent + count < phrase.events.size() &&
               phrase.events[nextEvent + count].frame < start + frames) {
            ++count;
        }
        list.clear();
        for (std::size_t i = nextEvent; i < nextEvent + count; ++i) {
            const TimedMidi& timed = phrase.events[i];
            list.add({static_cast<VstInt32>(timed.frame - start), timed.status, timed.data1,
                      timed.data2});
        }
        VstEvents* events = list.get();
        nextEvent += count;

        for (std::size_t c = 0; c < inputCount; ++c) {
            for (std::size_t i = 0; i < n; ++i) {
                const std::int64_t frame = start + static_cast<std::int64_t>(i);
                float sample = 0.0f;
                if (feedInput && settings.input == InputSignal::kTestSignal) {
                    sample = testInputAt(c, frame, inputFrames);
                } else if (feedInput && settings.input == InputSignal::kImpulse) {
                    sample = frame == 0 ? 0.5f : 0.0f;
                }
                inputStorage[c][i] = sample;
            }
        }
        for (std::size_t c = 0; c < outputCount; ++c) {
            for (std::size_t i = 0; i < n; ++i) {
                outputStorage[c][i] =
                    prefillGarbage ? garbageAt(c, start + static_cast<std::int64_t>(i)) : 0.0f;
            }
        }

        AEffect& effect = instance.effect();
        ProcessEntry entry = replacing ? effect.processReplacing : effect.process;
        instance.host().setProcessing(true);
        const double cpuBefore = settings.timeBlocks ? threadCpuSeconds() : 0.0;
        if (settings.countHeap) HeapCounter::startCounting();
        if (settings.countWaits) {
            WaitCounter::startCounting(reinterpret_cast<const void*>(effect.dispatcher));
        }
        effect.dispatcher(&effect, effProcessEvents, 0, 0, events, 0.0f);
        entry(&effect, inputs.data(), outputs.data(), static_cast<VstInt32>(frames));
        if (settings.countWaits) {
            const WaitCalls calls = WaitCounter::stopCounting();
            result.waits.locks += calls.locks;
            result.waits.waits += calls.waits;
            result.waits.sleeps += calls.sleeps;
            if (!result.waits.first) result.waits.first = calls.first;
        }
        if (settings.countHeap) {
            const HeapCalls calls = HeapCounter::stopCounting();
            result.heap.allocations += calls.allocations;
            result.heap.releases += calls.releases;
        }
        if (settings.timeBlocks) result.blockCpuSeconds.push_back(threadCpuSeconds() - cpuBefore);
        instance.host().setProcessing(false);

        for (std::size_t c = 0; c < outputCount; ++c) {
            std::copy(outputStorage[c].begin(),
                      outputStorage[c].begin() + static_cast<std::ptrdiff_t>(n),
                      result.audio[c].begin() + start);
        }
    }
    return result;
}

}  // namespace corvalen::validate
