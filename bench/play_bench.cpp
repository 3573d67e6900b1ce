// corvalen-play's work per JACK period (tools/play/play_engine.h: MIDI in, the plug-in through
// the rate adapter, the recording ring) against the plug-in's own processReplacing for the
// same source frames, at 44.1 and 48 kHz in 64- and 256-frame periods, a sustained A4 sounding.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "tools/play/play_engine.h"
#include "vst_host/plugin.h"

namespace {

using corvalen::play::EngineSetup;
using corvalen::play::PlayEngine;
using corvalen::vsthost::Plugin;

std::unique_ptr<Plugin> loadPlugin(int block) {
    return Plugin::load(CORVALEN_PLUGIN_PATH, {44100.0f, block});
}

void BM_PlayerPeriod(benchmark::State& state) {
    const auto rate = static_cast<double>(state.range(0));
    const auto period = static_cast<int>(state.range(1));
    auto plugin = loadPlugin(period);
    corvalen::play::RecordRing ring(2, 1 << 16);
    std::vector<float> drain(2 << 16);
    EngineSetup setup;
    setup.sessionRate = rate;
    setup.pluginRate = 44100.0;
    setup.period = period;
    setup.ring = &ring;
    PlayEngine engine(*plugin, setup);
    std::vector<float> left(static_cast<std::size_t>(period)), right(left);
    float* outputs[] = {left.data(), right.data()};
    const std::uint8_t note[] = {0x90, 69, 127};
    for (int i = 0; i < 44100 / 4 / period + 1; ++i) {
        engine.begin();
        if (i == 0) engine.addMidi(note, 3, 0);
        engine.process(period, nullptr, outputs);
    }
    std::int64_t periods = 0;
    for (auto _ : state) {
        engine.begin();
        engine.process(period, nullptr, outputs);
        benchmark::DoNotOptimize(left[0]);
        if (++periods % 128 == 0) {
            state.PauseTiming();
            ring.pop(drain.data(), 1 << 16);
            state.ResumeTiming();
        }
    }
    state.counters["latency_frames"] = engine.latency();
}

// The plug-in alone for the source frames one period needs at `rate`.
void BM_PluginForPeriod(benchmark::State& state) {
    const auto rate = static_cast<double>(state.range(0));
    const auto period = static_cast<int>(state.range(1));
    const int frames = static_cast<int>(std::ceil(period * 44100.0 / rate));
    auto plugin = loadPlugin(frames);
    plugin->resume();
    std::vector<float> left(static_cast<std::size_t>(frames)), right(left);
    float* outputs[] = {left.data(), right.data()};
    corvalen::vsthost::EventList list(1);
    list.addMidi(0, 0x90, 69, 127);
    plugin->sendEvents(list.get());
    for (int i = 0; i < 44100 / 4 / frames + 1; ++i) plugin->process(nullptr, outputs, frames);
    for (auto _ : state) {
        plugin->process(nullptr, outputs, frames);
        benchmark::DoNotOptimize(left[0]);
    }
    state.counters["source_frames"] = frames;
}

BENCHMARK(BM_PlayerPeriod)->ArgNames({"rate", "period"})->ArgsProduct({{44100, 48000}, {64, 256}});
BENCHMARK(BM_PluginForPeriod)
    ->ArgNames({"rate", "period"})
    ->ArgsProduct({{44100, 48000}, {64, 256}});

}  // namespace

BENCHMARK_MAIN();
