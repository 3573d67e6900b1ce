// The validator's own logic in-process: verdict lines and the tally, the sample analysis the
// checks decide with, the heap counter, and the phrase renderer driving
// the fixture instrument.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "tools/validate/check_support.h"
#include "tools/validate/phrase_renderer.h"
#include "tools/validate/signal_analysis.h"
#include "tools/validate/verdict.h"
#include "vst_host/heap_counter.h"

namespace {

using namespace corvalen::validate;
namespace vsthost = corvalen::vsthost;

TEST(VerdictLines, FormatAndParseAreInverse) {
    for (Verdict verdict :
         {Verdict::kPass, Verdict::kFail, Verdict::kWarn, Verdict::kSkip, Verdict::kExpectedFail}) {
        const VerdictLine line{verdict, "block-sizes", "differs: from frame 3"};
        const auto parsed = parseVerdict(formatVerdict(line));
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->verdict, verdict);
        EXPECT_EQ(parsed->name, "block-sizes");
        EXPECT_EQ(parsed->detail, "differs: from frame 3");
    }
    EXPECT_EQ(formatVerdict({Verdict::kFail, "tail", "two\nlines\r"}), "FAIL tail: two lines ");
    EXPECT_FALSE(parseVerdict("validating /x.so"));
    EXPECT_FALSE(parseVerdict("PASS : no name"));
    EXPECT_FALSE(parseVerdict("PASSload: x"));
}

TEST(VerdictLines, TallyCountsFailuresOnlyForTheExitCode) {
    Tally tally;
    EXPECT_EQ(tally.exitCode(), 0);
    tally.count(Verdict::kPass);
    tally.count(Verdict::kWarn);
    tally.count(Verdict::kSkip);
    tally.count(Verdict::kExpectedFail);
    EXPECT_EQ(tally.exitCode(), 0);
    EXPECT_EQ(tally.summary(), "1 passed, 0 failed, 1 warned, 1 skipped, 1 expected to fail");
    tally.count(Verdict::kFail);
    EXPECT_EQ(tally.exitCode(), 1);
    EXPECT_EQ(tally.summary(), "1 passed, 1 failed, 1 warned, 1 skipped, 1 expected to fail");
    // A check's verdict is its worst finding; a skip yields to any other.
    EXPECT_EQ(worse(Verdict::kWarn, Verdict::kFail), Verdict::kFail);
    EXPECT_EQ(worse(Verdict::kPass, Verdict::kWarn), Verdict::kWarn);
    EXPECT_EQ(worse(Verdict::kSkip, Verdict::kPass), Verdict::kPass);
}

TEST(SignalAnalysis, DecayTellsSilenceFromAFallingTailFromAHeldLevel) {
    constexpr double kRate = 1000.0;  // a coarse rate keeps the signals small
    auto signal = [](double start, double dbPerSecond) {
        Audio audio(1, std::vector<float>(20000));
        for (std::size_t i = 0; i < audio[0].size(); ++i) {
            const double seconds = static_cast<double>(i) / kRate;
            const double level = std::pow(10.0, (start - dbPerSecond * seconds) / 20.0);
            audio[0][i] = static_cast<float>(level * (i % 2 == 0 ? 1.0 : -1.0));
        }
        return audio;
    };
    const Decay quick = judgeDecay(signal(0.0, 20.0), 0, kRate);  // -90 dBFS after 4.5 s
    EXPECT_TRUE(quick.silent);
    EXPECT_NEAR(static_cast<double>(quick.silentFrame), 4500.0, 2.0);
    const Decay slow = judgeDecay(signal(0.0, 2.0), 0, kRate);  // a long reverb
    EXPECT_FALSE(slow.silent);
    EXPECT_TRUE(slow.decaying);
    EXPECT_NEAR(slow.dbPerSecond, 2.0, 0.1);
    const Decay held = judgeDecay(signal(-30.0, 0.0), 0, kRate);  // a stuck note
    EXPECT_FALSE(held.silent);
    EXPECT_FALSE(held.decaying);
    EXPECT_NE(held.describe(kRate, 0, "the release").find("does not die away: peak -30.0 dBFS"),
              std::string::npos)
        << held.describe(kRate, 0, "the release");
}

TEST(SignalAnalysis, CensusCountsEachKindOfBadSample) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    const float smallestNormal = std::numeric_limits<float>::min();
    const float subnormal = smallestNormal / 2.0f;
    const Audio audio = {{0.5f, -0.0f, smallestNormal, nan, 0.0f},
                         {0.0f, subnormal, -infinity, infinity, -smallestNormal}};
    const SampleCensus census = takeCensus(audio);
    EXPECT_EQ(census.nan, 1);
    EXPECT_EQ(census.infinite, 2);
    EXPECT_EQ(census.subnormal, 1);
    EXPECT_EQ(census.firstBadFrame, 1);
    EXPECT_FALSE(census.clean());
    EXPECT_TRUE(takeCensus({{0.0f, smallestNormal, -1.0f}}).clean());
}

TEST(SignalAnalysis, DifferencesAreBitwise) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(firstDifference({{1.0f, nan}}, {{1.0f, nan}}));
    EXPECT_EQ(firstDifference({{1.0f, 0.0f}}, {{1.0f, -0.0f}}), 1);
    EXPECT_EQ(firstDifference({{0.0f, 0.0f}, {0.0f, 1.0f}}, {{0.0f, 0.0f}, {0.0f, 2.0f}}), 1);
    EXPECT_EQ(firstDifference({{1.0f, 2.0f, 3.0f}}, {{1.0f, 2.0f}}), 2);
    EXPECT_EQ(firstDifference({{1.0f}}, {{1.0f}, {1.0f}}), 0);
}

TEST(SignalAnalysis, PeaksSilenceAndMedians) {
    const Audio audio = {{0.0f, -0.5f, 0.25f, 1e-6f, 0.0f}, {0.0f, 0.0f, 0.0f, 0.0f, 2e-6f}};
    EXPECT_EQ(peakBetween(audio, 0, 5), 0.5f);
    EXPECT_EQ(peakBetween(audio, 2, 3), 0.25f);
    EXPECT_EQ(peakBetween(audio, -10, 100), 0.5f);
    EXPECT_TRUE(std::isinf(peakBetween({{0.0f, std::nanf("")}}, 0, 2)));
    EXPECT_EQ(silentFrom(audio, 1e-5f), 3);
    EXPECT_EQ(silentFrom(audio, 1e-6f), std::nullopt);  // the last frame holds 2e-6
    EXPECT_EQ(silentFrom({{std::nanf(""), 0.0f}}, 1.0f), 1);
    EXPECT_EQ(median({3.0, 1.0, 2.0}), 2.0);
    EXPECT_EQ(median({4.0, 1.0, 3.0, 2.0}), 2.5);
    EXPECT_EQ(median({}), 0.0);
    EXPECT_EQ(decibelsToAmplitude(-20.0), 0.1f);
    EXPECT_DOUBLE_EQ(amplitudeToDecibels(0.01), -40.0);
    EXPECT_TRUE(std::isinf(amplitudeToDecibels(0.0)));
}

TEST(HeapCounter, CountsOnlyBetweenStartAndStop) {
    if (!HeapCounter::mallocHooksBuiltIn())
        GTEST_SKIP() << "sanitizer build: the runtime owns malloc";
    void* volatile outside = std::malloc(16);
    HeapCounter::startCounting();
    void* volatile first = std::malloc(32);
    void* volatile second = std::calloc(4, 8);
    std::free(first);
    const HeapCalls calls = HeapCounter::stopCounting();
    std::free(second);
    std::free(outside);
    EXPECT_EQ(calls.allocations, 2u);
    EXPECT_EQ(calls.releases, 1u);
    EXPECT_EQ(HeapCounter::interpositionProblem(nullptr), "");
}

TEST(HeapCounter, ReportsWhyItCannotCountInSanitizerBuilds) {
    if (HeapCounter::mallocHooksBuiltIn()) GTEST_SKIP() << "the hooks are built in";
    EXPECT_NE(HeapCounter::interpositionProblem(nullptr).find("sanitizer"), std::string::npos);
}

class PhraseRendering : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("CORVALEN_FAULT");
        library_ = std::make_unique<vsthost::PluginLibrary>(FAULTY_PLUGIN);
        instance_ = std::make_unique<PluginInstance>(*library_);
        instance_->start(44100.0f, 512);
    }
    std::unique_ptr<vsthost::PluginLibrary> library_;
    std::unique_ptr<PluginInstance> instance_;
};

TEST_F(PhraseRendering, EventsLandOnTheirAbsoluteFrames) {
    Phrase phrase;
    phrase.noteOn(700, 69, 127);
    phrase.frames = 1300;  // the last block is short
    std::vector<std::int64_t> blockStarts;
    RenderSettings settings;
    settings.blockSize = 512;
    settings.beforeBlock = [&](std::int64_t start) { blockStarts.push_back(start); };
    const Audio audio = renderPhrase(*instance_, phrase, settings).audio;
    EXPECT_EQ(blockStarts, (std::vector<std::int64_t>{0, 512, 1024}));
    ASSERT_EQ(audio.size(), 2u);
    ASSERT_EQ(frameCount(audio), 1300);
    EXPECT_EQ(peakBetween(audio, 0, 700), 0.0f);
    EXPECT_NE(audio[0][700], 0.0f);
    EXPECT_FALSE(firstDifference({audio[0]}, {audio[1]}));
}

TEST_F(PhraseRendering, AccumulatingCallsAddToTheGarbage) {
    Phrase phrase = heldNote(600);
    RenderSettings settings;
    settings.blockSize = 256;
    settings.call = ProcessCall::kAccumulating;
    settings.prefillGarbage = true;
    const Audio accumulated = renderPhrase(*instance_, phrase, settings).audio;

    PluginInstance fresh(*library_);
    fresh.start(44100.0f, 256);
    settings.call = ProcessCall::kReplacing;
    const Audio replaced = renderPhrase(fresh, phrase, settings).audio;
    for (std::size_t channel = 0; channel < 2; ++channel) {
        for (std::int64_t frame = 0; frame < 600; ++frame) {
            const std::size_t i = static_cast<std::size_t>(frame);
            ASSERT_EQ(accumulated[channel][i], garbageAt(channel, frame) + replaced[channel][i])
                << "channel " << channel << " frame " << frame;
        }
    }
}

TEST(PhraseRenderer, GarbageIsFiniteAndVaries) {
    float previous = garbageAt(0, -1);
    for (std::int64_t frame = 0; frame < 5000; ++frame) {
        const float value = garbageAt(frame % 2, frame);
        ASSERT_TRUE(std::isfinite(value));
        ASSERT_LT(std::fabs(value), 0.5f);
        ASSERT_NE(value, previous) << frame;
        previous = value;
    }
}

}  // namespace
