// The two figures every benchmark here reports, from the samples it rendered: nanoseconds of
// CPU per sample and the real-time factor (seconds of audio per second of CPU, at 44,100
// samples per second). Both come from Google Benchmark's CPU time.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

namespace corvalen::bench {

// Shown as cpu_per_sample (e.g. "10.5ns") and audio_seconds, the real-time factor (e.g.
// "2.1k/s": 2,100 seconds of audio per second of CPU).
inline void reportSamples(benchmark::State& state, std::int64_t samples) {
    const double count = static_cast<double>(samples);
    // A rate counter is divided by the CPU time; inverted, it is CPU time per unit.
    state.counters["cpu_per_sample"] =
        benchmark::Counter(count, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["audio_seconds"] =
        benchmark::Counter(count / 44100.0, benchmark::Counter::kIsRate);
}

}  // namespace corvalen::bench
