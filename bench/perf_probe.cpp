// A fixed render for instruction counting (scripts/callgrind-per-sample.sh): either through the
// plug-in's entry point in blocks, or the instrument's computeSample alone. Both play the same
// sustained note (A4, velocity 127) so that the difference of two runs of different lengths is
// the cost of the samples alone.
//
//   corvalen-perf-probe plugin <seconds> [block frames] [mod gain]
//   corvalen-perf-probe tail <seconds> [block frames]
//   corvalen-perf-probe instrument <seconds> [modulation depth]
//
// `tail` plays the same note for two seconds, releases it and renders 30 seconds of its tail
// before the counted part, so the difference of two runs is the cost of the tail alone (by then
// the string's values would be subnormal under IEEE arithmetic).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/plugin_session.h"
#include "dsp/bowed_string.h"

namespace {

constexpr double kSampleRate = 44100.0;
constexpr std::uint8_t kNote = 69;  // 440 Hz in the plug-in's table
constexpr float kFrequency = 440.0f;

// Keeps every sample alive without a store per sample to memory the compiler cannot see.
volatile float sink;

int renderPlugin(std::int64_t frames, VstInt32 blockSize, float modGain) {
    corvalen::bench::PluginSession session(blockSize);
    if (modGain > 0.0f) session.setParameter(3, modGain);
    session.play({{0, {0x90, kNote, 127}}}, frames);
    sink = session.left()[0];
    const std::int64_t blocks = (frames + blockSize - 1) / blockSize;
    std::printf("samples %lld\n", static_cast<long long>(blocks * blockSize));
    return 0;
}

int renderTail(std::int64_t frames, VstInt32 blockSize) {
    corvalen::bench::PluginSession session(blockSize);
    session.play({{0, {0x90, kNote, 127}}}, static_cast<std::int64_t>(2 * kSampleRate));
    session.play({{0, {0x80, kNote, 0}}}, static_cast<std::int64_t>(30 * kSampleRate));
    session.renderFrames(frames);
    sink = session.left()[0];
    const std::int64_t blocks = (frames + blockSize - 1) / blockSize;
    std::printf("samples %lld\n", static_cast<long long>(blocks * blockSize));
    return 0;
}

int renderInstrument(std::int64_t frames, float modulationDepth) {
    velquistdsp::tbowedstring string(20.0f);
    string.noteOff(0.0f);
    if (modulationDepth > 0.0f) string.controlChange(1, modulationDepth);
    string.noteOn(kFrequency, 1.0f);
    float last = 0.0f;
    for (std::int64_t i = 0; i < frames; ++i) last = string.computeSample();
    sink = last;
    std::printf("samples %lld\n", static_cast<long long>(frames));
    return 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: corvalen-perf-probe plugin <seconds> [block frames] [mod gain 0..1]\n"
                 "       corvalen-perf-probe tail <seconds> [block frames]\n"
                 "       corvalen-perf-probe instrument <seconds> [modulation depth 0..32]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const double seconds = std::atof(argv[2]);
    if (!(seconds >= 0.0 && seconds <= 3600.0)) return usage();
    const auto frames = static_cast<std::int64_t>(seconds * kSampleRate + 0.5);
    if (std::strcmp(argv[1], "plugin") == 0) {
        const int blockSize = argc > 3 ? std::atoi(argv[3]) : 512;
        if (blockSize < 1 || blockSize > 1 << 20) return usage();
        return renderPlugin(frames, blockSize, argc > 4 ? std::strtof(argv[4], nullptr) : 0.0f);
    }
    if (std::strcmp(argv[1], "tail") == 0) {
        const int blockSize = argc > 3 ? std::atoi(argv[3]) : 512;
        if (blockSize < 1 || blockSize > 1 << 20) return usage();
        return renderTail(frames, blockSize);
    }
    if (std::strcmp(argv[1], "instrument") == 0) {
        return renderInstrument(frames, argc > 3 ? std::strtof(argv[3], nullptr) : 0.0f);
    }
    return usage();
}
