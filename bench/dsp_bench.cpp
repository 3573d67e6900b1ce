// Cost of one computeSample per sound unit and for the whole instrument (one call = one sample).
#include <benchmark/benchmark.h>

#include "bench/sample_counters.h"
#include "dsp/adsr.h"
#include "dsp/biquad.h"
#include "dsp/bow_table.h"
#include "dsp/bowed_string.h"
#include "dsp/delay.h"
#include "dsp/delay_linear.h"
#include "dsp/filter.h"
#include "dsp/noise.h"
#include "dsp/one_pole.h"
#include "dsp/slow_modulator.h"
#include "dsp/sub_noise.h"

using namespace velquistdsp;
using corvalen::bench::reportSamples;

namespace {

// A slowly varying input that keeps filters out of denormal territory.
float testInput(int64_t i) {
    return (i & 63) * (1.0f / 64.0f) - 0.5f;
}

template <typename Unit>
void runFilterLike(benchmark::State& state, Unit& unit) {
    int64_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(unit.computeSample(testInput(i++)));
    reportSamples(state, state.iterations());
}

void BM_GeneralFilterThirdOrder(benchmark::State& state) {
    tfilter filter;
    const float b[3] = {0.2f, 0.3f, 0.1f};
    const float a[3] = {1.0f, -0.5f, 0.25f};
    filter.setCoefficients(3, b, 3, a);
    runFilterLike(state, filter);
}
BENCHMARK(BM_GeneralFilterThirdOrder);

void BM_OnePole(benchmark::State& state) {
    TOnePole filter;
    filter.setPole(0.55f);
    runFilterLike(state, filter);
}
BENCHMARK(BM_OnePole);

void BM_Biquad(benchmark::State& state) {
    TBiquad filter;
    filter.setResonance(500.0f, 0.85f, true);
    runFilterLike(state, filter);
}
BENCHMARK(BM_Biquad);

void BM_Delay(benchmark::State& state) {
    Tdelay line(100, 2206);
    runFilterLike(state, line);
}
BENCHMARK(BM_Delay);

void BM_LinearDelay(benchmark::State& state) {
    tdlinel line(0, 2206);
    line.setDelay(83.785347f);
    runFilterLike(state, line);
}
BENCHMARK(BM_LinearDelay);

void BM_BowFriction(benchmark::State& state) {
    tbowtbl bow;
    bow.setSlope(3.0f);
    int64_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(bow.friction(testInput(i++)));
    reportSamples(state, state.iterations());
}
BENCHMARK(BM_BowFriction);

void BM_AdsrSustaining(benchmark::State& state) {
    tadsr envelope;
    envelope.setTimes(0.02f, 0.005f, 0.9f, 0.01f);
    envelope.keyOn();
    for (auto _ : state) benchmark::DoNotOptimize(envelope.computeSample());
    reportSamples(state, state.iterations());
}
BENCHMARK(BM_AdsrSustaining);

void BM_Noise(benchmark::State& state) {
    tnoise noise;
    for (auto _ : state) benchmark::DoNotOptimize(noise.computeSample());
    reportSamples(state, state.iterations());
}
BENCHMARK(BM_Noise);

void BM_SubNoise(benchmark::State& state) {
    tsubnoise noise(330);
    for (auto _ : state) benchmark::DoNotOptimize(noise.computeSample());
    reportSamples(state, state.iterations());
}
BENCHMARK(BM_SubNoise);

void BM_SlowModulator(benchmark::State& state) {
    tslowmodul modulator;
    for (auto _ : state) benchmark::DoNotOptimize(modulator.computeSample());
    reportSamples(state, state.iterations());
}
BENCHMARK(BM_SlowModulator);

// The instrument as the plug-in plays it: a sustained note, modulation off or on.
void BM_BowedStringSustained(benchmark::State& state) {
    tbowedstring string(20.0f);
    string.noteOff(0.0f);
    string.controlChange(1, static_cast<float>(state.range(0)));
    string.noteOn(441.0f, 1.0f);
    for (int i = 0; i < 10000; ++i) string.computeSample();
    for (auto _ : state) benchmark::DoNotOptimize(string.computeSample());
    reportSamples(state, state.iterations());
}
BENCHMARK(BM_BowedStringSustained)->Arg(0)->Arg(1)->ArgName("modulationDepth");

// Through the interface pointer, as a host-facing object that does not know the concrete type.
void BM_BowedStringThroughInterface(benchmark::State& state) {
    tbowedstring concrete(20.0f);
    tinstrument* string = &concrete;
    benchmark::DoNotOptimize(string);
    string->noteOff(0.0f);
    string->noteOn(441.0f, 1.0f);
    for (int i = 0; i < 10000; ++i) string->computeSample();
    for (auto _ : state) benchmark::DoNotOptimize(string->computeSample());
    reportSamples(state, state.iterations());
}
BENCHMARK(BM_BowedStringThroughInterface);

}  // namespace
