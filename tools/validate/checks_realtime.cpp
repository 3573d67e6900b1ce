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

// What the calls of a watched render were: the standard phrase in 512-frame blocks at 44100 Hz,
// parameter 0 set to its own value before every 8th block (parameter changes between blocks
// give the plug-in work to pick up inside the next one).
constexpr const char* kWatchedRender =
    "the standard phrase in 512-frame blocks at 44100 Hz, parameter 0 set to its own value "
    "before every 8th block";

// Renders that phrase with `settings` (what to count) in a fresh instance; `blocks` is the
// number of event lists and processing calls.
RenderResult renderWatched(CheckContext& context, RenderSettings settings, long long& blocks) {
    auto instance = startedInstance(context);
    const Phrase phrase = standardPhrase();
    int block = 0;
    settings.beforeBlock = [&](std::int64_t) {
        if (instance->numParams() > 0 && block++ % 8 == 0) {
            instance->setParameter(0, instance->getParameter(0));
        }
    };
    RenderResult result = renderPhrase(*instance, phrase, settings);
    instance->suspend();
    blocks = (phrase.frames + kStandardBlock - 1) / kStandardBlock;
    return result;
}

}  // namespace

void checkNoAllocation(CheckContext& context) {
    const std::string problem = HeapCounter::interpositionProblem(context.library().handle());
    if (!problem.empty()) {
        context.skip("cannot see the plug-in's allocations: " + problem);
        return;
    }
    RenderSettings settings;
    settings.countHeap = true;
    long long blocks = 0;
    const RenderResult result = renderWatched(context, settings, blocks);
    char detail[300];
    std::snprintf(detail, sizeof detail,
                  "%llu allocations and %llu frees in %lld event lists and processing calls (%s)",
                  static_cast<unsigned long long>(result.heap.allocations),
                  static_cast<unsigned long long>(result.heap.releases), blocks, kWatchedRender);
    context.report(
        result.heap.allocations == 0 && result.heap.releases == 0 ? Verdict::kPass : Verdict::kFail,
        detail);
}

void checkNoLocks(CheckContext& context) {
    const std::string problem = WaitCounter::interpositionProblem();
    if (!problem.empty()) {
        context.skip("cannot see the plug-in's locks: " + problem);
        return;
    }
    RenderSettings settings;
    settings.countWaits = true;
    long long blocks = 0;
    const RenderResult result = renderWatched(context, settings, blocks);
    const WaitCalls& calls = result.waits;
    char detail[400];
    if (calls.total() == 0) {
        std::snprintf(detail, sizeof detail,
                      "no lock, wait or sleep in %lld event lists and processing calls (%s)",
                      blocks, kWatchedRender);
        context.report(Verdict::kPass, detail);
        return;
    }
    std::snprintf(detail, sizeof detail,
                  "%llu lock acquisitions, %llu waits and %llu sleeps in %lld event lists and "
                  "processing calls (first: %s); %s",
                  static_cast<unsigned long long>(calls.locks),
                  static_cast<unsigned long long>(calls.waits),
                  static_cast<unsigned long long>(calls.sleeps), blocks, calls.first,
                  calls.sleeps > 0 ? "a sleep always costs the host its deadline"
                                   : "each can wait for another thread, past the host's deadline");
    // A sleep always waits; a lock or a wait only when another thread holds or signals.
    context.report(calls.sleeps > 0 ? Verdict::kFail : Verdict::kWarn, detail);
}

namespace {

// The median CPU time of a block while the note sounds and far into its tail.
struct TailCost {
    double sounding = 0.0;
    double tail = 0.0;
    double ratio() const { return sounding > 0.0 ? tail / sounding : 0.0; }
};

TailCost tailCost(const std::vector<double>& blockCpuSeconds) {
    auto blockTimes = [&](double startSeconds) {
        const std::size_t first =
            static_cast<std::size_t>(startSeconds * kStandardRate) / kStandardBlock;
        const std::size_t count =
            static_cast<std::size_t>(kWindowSeconds * kStandardRate) / kStandardBlock;
        return std::vector<double>(
            blockCpuSeconds.begin() + static_cast<std::ptrdiff_t>(first),
            blockCpuSeconds.begin() + static_cast<std::ptrdiff_t>(first + count));
    };
    TailCost cost;
    cost.sounding = median(blockTimes(kSoundingStart));
    cost.tail = median(blockTimes(kHoldSeconds + kTailWindowStart));
    return cost;
}

}  // namespace

void checkTail(CheckContext& context) {
    if (!context.facts().takesNotes()) {
        context.skip("an effect: no note to release (see effect-tail)");
        return;
    }
    auto instance = startedInstance(context);
    const std::int64_t noteOff = static_cast<std::int64_t>(kHoldSeconds * kStandardRate);
    Phrase phrase;
    phrase.noteOn(0, 60, 100).noteOff(noteOff, 60);
    phrase.frames = noteOff + static_cast<std::int64_t>(kTailSeconds * kStandardRate);
    RenderSettings settings;
    settings.timeBlocks = true;
    const RenderResult result = renderPhrase(*instance, phrase, settings);
    instance->suspend();

    const Audio& audio = result.audio;
    const float soundingPeak = peakBetween(audio, 0, noteOff);
    if (soundingPeak < decibelsToAmplitude(kAudibleDbfs)) {
        context.skip("cannot judge: note 60 held for 3 s stays silent (peak " +
                     formatDb(soundingPeak) +
                     "); the plug-in may need user data (a sample or file) first");
        return;
    }
    const TailCost cost = tailCost(result.blockCpuSeconds);
    const double sounding = cost.sounding;
    const double tail = cost.tail;
    const double ratio = cost.ratio();

    Findings findings;
    judgeCensus(findings, audio);
    const Decay decay = judgeDecay(audio, noteOff, kStandardRate);
    if (!decay.silent && !decay.decaying) {
        findings.fail("note 60 held 3 s and released: " +
                      decay.describe(kStandardRate, noteOff, "the release") + " (sounding peak " +
                      formatDb(soundingPeak) + ")");
    }
    if (ratio > kMaxTailCostRatio && tail - sounding > kCostNoiseSeconds) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "a block 35-37 s after the release costs %.2f times a sounding one "
                      "(median thread CPU time, %.1f us against %.1f us; limit %.1f)",
                      ratio, tail * 1e6, sounding * 1e6, kMaxTailCostRatio);
        findings.warn(text);
    }
    char detail[300];
    std::snprintf(detail, sizeof detail,
                  "%s; median block CPU %.1f us sounding, %.1f us 35-37 s into the tail (ratio "
                  "%.2f, limit %.1f)",
                  decay.describe(kStandardRate, noteOff, "the release").c_str(), sounding * 1e6,
                  tail * 1e6, ratio, kMaxTailCostRatio);
    findings.report(context, detail);
}

}  // namespace corvalen::validate
