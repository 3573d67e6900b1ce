// The whole plug-in as a host drives it: the built library loaded by path, `main`, the
// dispatcher and the processReplacing entry (bench/plugin_session.h). One sample is one frame of
// both outputs.
//
// The release-tail cases compare the plug-in with the instrument rendered directly under IEEE
// arithmetic, where the tail is a limit cycle of subnormal floats.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "bench/plugin_session.h"
#include "bench/sample_counters.h"
#include "dsp/bowed_string.h"
#include "synth/note_frequencies.h"
#include "vst_plugin/fp_environment.h"

namespace {

using corvalen::bench::PluginSession;
using corvalen::bench::reportSamples;

constexpr std::uint8_t kNote = 69;
constexpr std::uint8_t kVelocity = 127;
constexpr std::int64_t kSampleRate = 44100;
constexpr VstInt32 kModGainParameter = 3;
constexpr VstInt32 kParameterCount = 6;

// A note held for two seconds and released: its IEEE render turns subnormal 25.8 s after the
// note-off and stays so (probe: every output sample from 30 to 40 s is subnormal).
constexpr std::int64_t kHoldFrames = 2 * kSampleRate;
constexpr std::int64_t kTailStart = 30 * kSampleRate;
constexpr std::int64_t kTailLength = 10 * kSampleRate;

bool isSubnormal(float x) {
    return std::fpclassify(x) == FP_SUBNORMAL;
}

// A session playing the sustained note, past its attack.
std::unique_ptr<PluginSession> sustainedSession(VstInt32 blockSize) {
    auto session = std::make_unique<PluginSession>(blockSize);
    session->play({{0, {0x90, kNote, kVelocity}}}, kSampleRate / 4);
    return session;
}

void BM_PluginSustained(benchmark::State& state) {
    const auto blockSize = static_cast<VstInt32>(state.range(0));
    auto session = sustainedSession(blockSize);
    for (auto _ : state) {
        session->renderBlock();
        benchmark::DoNotOptimize(session->left()[0]);
    }
    reportSamples(state, state.iterations() * blockSize);
}
BENCHMARK(BM_PluginSustained)->ArgName("block")->Arg(1)->Arg(32)->Arg(512)->Arg(4096);

// Several instances in one session, each rendering its block in turn, as a host does with one
// instance per track. ns_per_sample is per instance-sample.
void BM_PluginInstances(benchmark::State& state) {
    constexpr VstInt32 kBlock = 512;
    std::vector<std::unique_ptr<PluginSession>> sessions;
    for (int i = 0; i < state.range(0); ++i) sessions.push_back(sustainedSession(kBlock));
    for (auto _ : state) {
        for (auto& session : sessions) session->renderBlock();
        benchmark::DoNotOptimize(sessions[0]->left()[0]);
    }
    reportSamples(state, state.iterations() * kBlock * state.range(0));
}
BENCHMARK(BM_PluginInstances)->ArgName("instances")->Arg(1)->Arg(8)->Arg(64);

// 30 to 40 s after the note-off; each iteration renders the whole window from a fresh instance.
void BM_PluginReleaseTail(benchmark::State& state) {
    constexpr VstInt32 kBlock = 512;
    std::int64_t subnormals = 0;
    std::int64_t samples = 0;
    std::unique_ptr<PluginSession> session;
    for (auto _ : state) {
        // The previous window's instance closes and the next one is played up to the window
        // outside the measurement.
        state.PauseTiming();
        session = std::make_unique<PluginSession>(kBlock);
        session->play({{0, {0x90, kNote, kVelocity}}}, kHoldFrames);
        session->play({{0, {0x80, kNote, 0}}}, kTailStart);
        state.ResumeTiming();
        for (std::int64_t done = 0; done < kTailLength; done += kBlock) {
            session->renderBlock();
            subnormals += isSubnormal(session->left()[kBlock - 1]);
            samples += kBlock;
        }
    }
    reportSamples(state, samples);
    // Sampled at the last frame of each block: 0 when the flush works.
    state.counters["subnormal_share"] = static_cast<double>(subnormals * kBlock) / samples;
}
BENCHMARK(BM_PluginReleaseTail)->Unit(benchmark::kMillisecond);

// The same window from the instrument alone under this thread's IEEE arithmetic: what the tail
// costs without the flush.
void BM_InstrumentReleaseTailIeee(benchmark::State& state) {
    std::int64_t subnormals = 0;
    std::int64_t samples = 0;
    for (auto _ : state) {
        state.PauseTiming();
        velquistdsp::tbowedstring string(20.0f);
        string.noteOff(0.0f);
        string.noteOn(noteFrequencies[kNote], static_cast<float>(kVelocity * 0.007874015748031496));
        for (std::int64_t i = 0; i < kHoldFrames; ++i) string.computeSample();
        string.noteOff(0.0f);
        for (std::int64_t i = 0; i < kTailStart; ++i) string.computeSample();
        state.ResumeTiming();
        for (std::int64_t i = 0; i < kTailLength; ++i) {
            subnormals += isSubnormal(string.computeSample());
        }
        samples += kTailLength;
    }
    reportSamples(state, samples);
    state.counters["subnormal_share"] = static_cast<double>(subnormals) / samples;
}
BENCHMARK(BM_InstrumentReleaseTailIeee)->Unit(benchmark::kMillisecond);

// The instrument alone, sustained, in the same run for comparison with the plug-in path.
void BM_InstrumentSustained(benchmark::State& state) {
    velquistdsp::tbowedstring string(20.0f);
    string.noteOff(0.0f);
    string.noteOn(noteFrequencies[kNote], 1.0f);
    for (int i = 0; i < kSampleRate / 4; ++i) string.computeSample();
    for (auto _ : state) benchmark::DoNotOptimize(string.computeSample());
    reportSamples(state, state.iterations());
}
BENCHMARK(BM_InstrumentSustained);

// Mod Gain above 0: the modulator runs and the nut-side delay is set again every sample.
void BM_PluginModGain(benchmark::State& state) {
    const auto blockSize = static_cast<VstInt32>(state.range(0));
    PluginSession session(blockSize);
    session.setParameter(kModGainParameter, 0.25f);
    session.play({{0, {0x90, kNote, kVelocity}}}, kSampleRate / 4);
    for (auto _ : state) {
        session.renderBlock();
        benchmark::DoNotOptimize(session.left()[0]);
    }
    reportSamples(state, state.iterations() * blockSize);
}
BENCHMARK(BM_PluginModGain)->ArgName("block")->Arg(1)->Arg(32)->Arg(512);

#if defined(CORVALEN_HAS_MXCSR)
// The sustained note rendered from a thread that already flushes subnormals, as many hosts'
// audio threads do, with every exception flag already raised: the rendering call finds MXCSR
// as it wants it and skips the write on entry (it still writes the caller's state back).
void BM_PluginSustainedCallerFlushing(benchmark::State& state) {
    const auto blockSize = static_cast<VstInt32>(state.range(0));
    auto session = sustainedSession(blockSize);
    const std::uint32_t own = readMxcsr();
    constexpr std::uint32_t kFlushingWithFlags = 0x9FC0u | 0x3Fu;
    writeMxcsr(kFlushingWithFlags);
    for (auto _ : state) {
        session->renderBlock();
        benchmark::DoNotOptimize(session->left()[0]);
    }
    writeMxcsr(own);
    reportSamples(state, state.iterations() * blockSize);
}
BENCHMARK(BM_PluginSustainedCallerFlushing)->ArgName("block")->Arg(1)->Arg(32)->Arg(512);
#endif

// All six parameters change before every block, alternating between two sets (Mod Gain stays
// above 0 in both, so the case compares with BM_PluginModGain).
void BM_PluginParametersEveryBlock(benchmark::State& state) {
    const auto blockSize = static_cast<VstInt32>(state.range(0));
    constexpr float kSets[2][kParameterCount] = {{0.5f, 0.5f, 0.5f, 0.25f, 0.1f, 0.8f},
                                                 {0.6f, 0.55f, 0.6f, 0.3f, 0.2f, 0.7f}};
    PluginSession session(blockSize);
    session.setParameter(kModGainParameter, 0.25f);
    session.play({{0, {0x90, kNote, kVelocity}}}, kSampleRate / 4);
    int set = 0;
    for (auto _ : state) {
        for (VstInt32 index = 0; index < kParameterCount; ++index) {
            session.setParameter(index, kSets[set][index]);
        }
        set ^= 1;
        session.renderBlock();
        benchmark::DoNotOptimize(session.left()[0]);
    }
    reportSamples(state, state.iterations() * blockSize);
}
BENCHMARK(BM_PluginParametersEveryBlock)->ArgName("block")->Arg(32)->Arg(512);

}  // namespace
