// Checks of real-time behaviour: no heap use inside the processing calls, and a release tail
// that decays without costing more than the sound itself.
#include <cstdio>

#include "tools/validate/checks.h"

namespace corvalen::validate {
namespace {

constexpr double kHoldSeconds = 3.0;
constexpr double kTailSeconds = 40.0;
constexpr double kWindowSeconds = 2.0;
// The sounding window starts after the attack; the tail window 35 s after the note-off, where
// a filter that decays into subnormal numbers has long reached them.
constexpr double kSoundingStart = 0.5;
constexpr double kTailWindowStart = 35.0;
// A tail block may cost at most this much more than a sounding block...
constexpr double kMaxTailCostRatio = 1.5;
// ...unless the difference is below timer and scheduling noise.
constexpr double kCostNoiseSeconds = 2e-6;

}  // namespace

void checkNoAllocation(CheckContext& context) {
    const std::string problem = HeapCounter::interpositionProblem(context.library().handle());
    if (!problem.empty()) {
        context.skip("no-allocation", "cannot see the plug-in's allocations: " + problem);
        return;
    }
    auto instance = startedInstance(context);
    RenderSettings settings;
    settings.countHeap = true;
    const Phrase phrase = standardPhrase();
    // Parameter changes between blocks give the plug-in work to pick up inside the next one.
    int block = 0;
    settings.beforeBlock = [&](std::int64_t) {
        if (instance->numParams() > 0 && block++ % 8 == 0) {
            instance->setParameter(0, instance->getParameter(0));
        }
    };
    const RenderResult result = renderPhrase(*instance, phrase, settings);
    instance->suspend();
    const long long blocks = (phrase.frames + kStandardBlock - 1) / kStandardBlock;
    char detail[200];
    std::snprintf(detail, sizeof detail,
                  "%llu allocations and %llu frees in %lld event lists and processing calls",
                  static_cast<unsigned long long>(result.heap.allocations),
                  static_cast<unsigned long long>(result.heap.releases), blocks);
    context.verdict(result.heap.allocations == 0 && result.heap.releases == 0, "no-allocation",
                    detail);
}

void checkTail(CheckContext& context) {
    auto instance = startedInstance(context);
    if (!instance->isSynth()) {
        context.skip("tail", "not an instrument: no note to release");
        return;
    }
    const auto rate = static_cast<std::int64_t>(kStandardRate);
    const std::int64_t noteOff = static_cast<std::int64_t>(kHoldSeconds * kStandardRate);
    Phrase phrase;
    phrase.noteOn(0, 60, 100).noteOff(noteOff, 60);
    phrase.frames = noteOff + static_cast<std::int64_t>(kTailSeconds * kStandardRate);
    RenderSettings settings;
    settings.timeBlocks = true;
    const RenderResult result = renderPhrase(*instance, phrase, settings);
    instance->suspend();

    auto blockTimes = [&](double startSeconds) {
        const std::size_t first =
            static_cast<std::size_t>(startSeconds * kStandardRate) / kStandardBlock;
        const std::size_t count =
            static_cast<std::size_t>(kWindowSeconds * kStandardRate) / kStandardBlock;
        return std::vector<double>(
            result.blockCpuSeconds.begin() + static_cast<std::ptrdiff_t>(first),
            result.blockCpuSeconds.begin() + static_cast<std::ptrdiff_t>(first + count));
    };
    const double sounding = median(blockTimes(kSoundingStart));
    const double tail = median(blockTimes(kHoldSeconds + kTailWindowStart));
    const double ratio = sounding > 0.0 ? tail / sounding : 0.0;

    const Audio& audio = result.audio;
    const SampleCensus census = takeCensus(audio);
    const float soundingPeak = peakBetween(audio, 0, noteOff);
    const float finalPeak = peakBetween(audio, frameCount(audio) - rate, frameCount(audio));
    const auto quietFrom = silentFrom(audio, decibelsToAmplitude(kSilenceDbfs));

    std::string problems;
    if (!census.clean()) problems += describeCensus(census) + "; ";
    if (finalPeak >= decibelsToAmplitude(kSilenceDbfs)) {
        problems += "the tail does not decay: " + formatDb(finalPeak) +
                    " in its 40th second (sounding " + formatDb(soundingPeak) + "); ";
    }
    if (ratio > kMaxTailCostRatio && tail - sounding > kCostNoiseSeconds) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "a tail block costs %.2f times a sounding one (limit %.1f); ", ratio,
                      kMaxTailCostRatio);
        problems += text;
    }
    char detail[300];
    std::snprintf(
        detail, sizeof detail,
        "silent (below %.0f dBFS) %.2f s after the note-off; median block CPU %.1f us sounding, "
        "%.1f us 35-37 s into the tail (ratio %.2f, limit %.1f)",
        kSilenceDbfs,
        quietFrom ? static_cast<double>(*quietFrom - noteOff) / kStandardRate : kTailSeconds,
        sounding * 1e6, tail * 1e6, ratio, kMaxTailCostRatio);
    context.verdict(problems.empty(), "tail",
                    problems.empty() ? std::string(detail) : problems + detail);
}

}  // namespace corvalen::validate
