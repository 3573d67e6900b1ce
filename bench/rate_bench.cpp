// The rate adapter's cost per output sample (one frame of both channels) at 48 and 96 kHz,
// alone and with the plug-in as its source, against the plug-in's own cost per sample at
// 44.1 kHz; each case also records the adapter's latency and the most source frames one
// block rendered.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "bench/plugin_session.h"
#include "bench/sample_counters.h"
#include "rate/rate_adapter.h"

namespace {

using corvalen::bench::PluginSession;
using corvalen::rate::AdapterSetup;
using corvalen::rate::FixedRateSource;
using corvalen::rate::RateAdapter;
using corvalen::rate::TimedEvent;

// A source that costs next to nothing, so the adapter is measured alone.
class ConstantSource : public FixedRateSource {
public:
    void render(float* const* outputs, int frames, const TimedEvent*, int) override {
        std::fill(outputs[0], outputs[0] + frames, 0.25f);
        std::fill(outputs[1], outputs[1] + frames, 0.25f);
        largest = std::max(largest, frames);
    }
    int largest = 0;
};

// The plug-in playing a sustained A4, past its attack, straight through processReplacing.
class PluginSource : public FixedRateSource {
public:
    explicit PluginSource(int maxFrames) : session_(std::make_unique<PluginSession>(maxFrames)) {
        session_->play({{0, {0x90, 69, 127}}}, 44100 / 4);
    }
    void render(float* const* outputs, int frames, const TimedEvent*, int) override {
        AEffect* effect = session_->record();
        effect->processReplacing(effect, nullptr, const_cast<float**>(outputs), frames);
        largest = std::max(largest, frames);
    }
    int largest = 0;

private:
    std::unique_ptr<PluginSession> session_;
};

template <typename Source>
void runAdapter(benchmark::State& state, Source& source, double rate, int block) {
    AdapterSetup setup;
    setup.targetRate = rate;
    setup.maxBlock = block;
    RateAdapter adapter(setup);
    std::vector<float> left(static_cast<std::size_t>(block)), right(left);
    float* outputs[] = {left.data(), right.data()};
    for (auto _ : state) {
        adapter.process(source, outputs, block, nullptr, 0);
        benchmark::DoNotOptimize(left[0]);
    }
    const double samples = static_cast<double>(state.iterations()) * block;
    corvalen::bench::reportSamples(state, state.iterations() * block);
    state.counters["audio_seconds"] =
        benchmark::Counter(samples / rate, benchmark::Counter::kIsRate);
    state.counters["latency_frames"] = adapter.latency();
    state.counters["latency_ms"] = 1000.0 * adapter.latency() / rate;
    state.counters["source_frames_max"] = source.largest;
    state.counters["source_frames_bound"] = adapter.maxSourceFrames();
}

void BM_RateAdapterAlone(benchmark::State& state) {
    ConstantSource source;
    runAdapter(state, source, static_cast<double>(state.range(0)),
               static_cast<int>(state.range(1)));
}

void BM_RateAdapterWithPlugin(benchmark::State& state) {
    const auto rate = static_cast<double>(state.range(0));
    const auto block = static_cast<int>(state.range(1));
    PluginSource source(static_cast<int>(block * 44100.0 / rate) + 1);
    runAdapter(state, source, rate, block);
}

// The instrument's own cost per sample at its rate, in the same block sizes.
void BM_PluginAtItsRate(benchmark::State& state) {
    const auto block = static_cast<VstInt32>(state.range(0));
    PluginSession session(block);
    session.play({{0, {0x90, 69, 127}}}, 44100 / 4);
    for (auto _ : state) {
        session.renderBlock();
        benchmark::DoNotOptimize(session.left()[0]);
    }
    corvalen::bench::reportSamples(state, state.iterations() * block);
}

BENCHMARK(BM_RateAdapterAlone)
    ->ArgNames({"rate", "block"})
    ->ArgsProduct({{48000, 96000}, {64, 256}});
BENCHMARK(BM_RateAdapterWithPlugin)
    ->ArgNames({"rate", "block"})
    ->ArgsProduct({{48000, 96000}, {64, 256}});
BENCHMARK(BM_PluginAtItsRate)->ArgName("block")->Arg(64)->Arg(256);

}  // namespace
