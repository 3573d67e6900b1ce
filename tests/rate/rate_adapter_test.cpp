// The rate adapter against synthetic sources whose ideal conversion is known: tones for the
// error and alias rejection, unit impulses at the events' frames for the timing rule.
#include "rate/rate_adapter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "tests/rate/adapter_harness.h"
#include "tests/support/signals.h"

namespace {

using corvalen::rate::AdapterSetup;
using corvalen::rate::FixedRateSource;
using corvalen::rate::RateAdapter;
using corvalen::rate::TimedEvent;
using corvalen::test::bitEqual;
using corvalen::test::midiEvent;
using corvalen::test::OutputEvent;
using corvalen::test::runAdapter;

constexpr double kPi = 3.14159265358979323846;
constexpr double kSourceRate = 44100.0;

// A tone of amplitude 0.5, or silence, plus a unit impulse at every event's frame; a second
// channel, if any, carries the same negated. Records each render's length and each event's
// source frame and note number.
class TestSource : public FixedRateSource {
public:
    explicit TestSource(double frequency = 0.0, int channels = 1)
        : frequency_(frequency), channels_(channels) {}

    void render(float* const* outputs, int frames, const TimedEvent* events, int count) override {
        renders.push_back(frames);
        for (int i = 0; i < frames; ++i) {
            const double t = static_cast<double>(rendered_ + i) / kSourceRate;
            outputs[0][i] = frequency_ > 0
                                ? static_cast<float>(0.5 * std::sin(2 * kPi * frequency_ * t))
                                : 0.0f;
        }
        for (int e = 0; e < count; ++e) {
            EXPECT_TRUE(events[e].frame >= 0 && events[e].frame < frames);
            EXPECT_TRUE(e == 0 || events[e - 1].frame <= events[e].frame);
            outputs[0][events[e].frame] += 1.0f;
            eventFrames.push_back(rendered_ + events[e].frame);
            eventNotes.push_back(events[e].midi[1]);
        }
        for (int i = 0; channels_ == 2 && i < frames; ++i) outputs[1][i] = -outputs[0][i];
        rendered_ += frames;
    }

    std::vector<int> renders;
    std::vector<std::int64_t> eventFrames;
    std::vector<int> eventNotes;

private:
    double frequency_;
    int channels_;
    std::int64_t rendered_ = 0;
};

AdapterSetup setupFor(double targetRate, int maxBlock = 512, int channels = 1) {
    AdapterSetup setup;
    setup.targetRate = targetRate;
    setup.channels = channels;
    setup.maxBlock = maxBlock;
    return setup;
}

const std::vector<int> kUnevenBlocks = {64, 1, 512, 17, 0, 200, 3, 511};

// Error against the ideal tone (or, above the target's Nyquist frequency, against silence),
// in dB relative to the tone, from 0.1 s on.
double toneErrorDb(double targetRate, double frequency) {
    RateAdapter adapter(setupFor(targetRate));
    TestSource source(frequency);
    const auto frames = static_cast<std::int64_t>(targetRate * 0.5);
    const std::vector<float> out = runAdapter(adapter, source, 1, frames, kUnevenBlocks)[0];
    const bool folds = frequency >= targetRate / 2;
    double error = 0.0, tone = 0.0;
    for (auto n = static_cast<std::int64_t>(targetRate * 0.1); n < frames; ++n) {
        const double t = static_cast<double>(n - adapter.latency()) / targetRate;
        const double ideal = folds ? 0.0 : 0.5 * std::sin(2 * kPi * frequency * t);
        error += (out[n] - ideal) * (out[n] - ideal);
        tone += 0.125;
    }
    return 10 * std::log10(error / tone);
}

// Prints each figure, for the README.
TEST(RateAdapterQuality, ErrorAndAliasesStayBelowMinus100DbAtEveryRate) {
    auto check = [](double rate, double frequency) {
        const double db = toneErrorDb(rate, frequency);
        std::printf("%6.0f Hz: %5.0f Hz tone, %s %.1f dB\n", rate, frequency,
                    frequency < rate / 2 ? "error" : "alias", db);
        EXPECT_LT(db, -100.0) << rate << " Hz, " << frequency << " Hz tone";
    };
    for (double rate : {8000.0, 22050.0, 32000.0, 47999.0, 48000.0, 96000.0, 192000.0, 384000.0}) {
        check(rate, 1000.0);
        check(rate, std::min(15000.0, RateAdapter(setupFor(rate)).passBandEdge()));
        // Tones the target cannot carry must not fold back.
        if (rate / 2 <= 15000.0) check(rate, 15000.0);
        if (rate / 2 <= 20000.0) check(rate, 0.5 * rate + 700.0);
    }
}

// Each event's impulse comes out as the filter's kernel, centred where the event's source
// frame lies on the output's time line, plus the latency.
TEST(RateAdapterTiming, EventsReachTheirSourceFrameAndComeOutAtTheirFramePlusLatency) {
    for (double rate : {22050.0, 48000.0, 96000.0, 192000.0}) {
        SCOPED_TRACE(rate);
        RateAdapter adapter(setupFor(rate));
        ASSERT_LT(adapter.latency() / rate, 0.005);
        std::vector<OutputEvent> events;
        for (std::int64_t frame = 300; frame < 40000; frame += 997) events.push_back({frame, {}});
        TestSource source;
        const std::vector<float> out =
            runAdapter(adapter, source, 1, 41000, kUnevenBlocks, events)[0];
        ASSERT_EQ(source.eventFrames.size(), events.size());
        const double outputPerSource = rate / kSourceRate;
        for (std::size_t e = 0; e < events.size(); ++e) {
            const double outputFrame = static_cast<double>(events[e].frame);
            // Round to nearest, halves up (an exact half divides exactly).
            const double sourceFrame = std::floor(outputFrame * kSourceRate / rate + 0.5);
            ASSERT_EQ(source.eventFrames[e], static_cast<std::int64_t>(sourceFrame));
            double moment = 0.0, mass = 0.0;
            for (int n = static_cast<int>(outputFrame) - 200; n < outputFrame + 600; ++n) {
                moment += static_cast<double>(n) * out[n];
                mass += out[n];
            }
            const double centre = moment / mass;
            EXPECT_NEAR(centre, sourceFrame * outputPerSource + adapter.latency(), 0.01);
            EXPECT_LE(std::fabs(centre - (outputFrame + adapter.latency())),
                      0.5 * outputPerSource + 0.01);
        }
    }
}

// The same events at the same output frames give the same samples whatever the blocks, so
// the latency is the same in every block; each render stays within ceil(block x ratio).
TEST(RateAdapterTiming, OutputAndLatencyDoNotDependOnTheBlocks) {
    for (double rate : {22050.0, 48000.0, 96000.0, 192000.0}) {
        SCOPED_TRACE(rate);
        std::vector<OutputEvent> events;
        for (std::int64_t frame = 0; frame < 20000; frame += 331) events.push_back({frame, {}});
        RateAdapter steady(setupFor(rate, 512, 2));
        RateAdapter uneven(setupFor(rate, 4096, 2));
        EXPECT_EQ(steady.latency(), uneven.latency());
        TestSource steadySource(440.0, 2), unevenSource(440.0, 2);
        const auto expected = runAdapter(steady, steadySource, 2, 20000, {512}, events);
        const double ratio = kSourceRate / rate;
        std::size_t renders = 0;
        auto checkRender = [&](int block) {
            if (unevenSource.renders.size() == renders) return;  // nothing due yet
            ASSERT_EQ(unevenSource.renders.size(), renders + 1);
            EXPECT_LE(unevenSource.renders[renders++], std::ceil(block * ratio)) << block;
        };
        const auto actual = runAdapter(uneven, unevenSource, 2, 20000,
                                       {1, 4096, 0, 7, 64, 2, 1000, 333}, events, checkRender);
        EXPECT_TRUE(bitEqual(actual[0], expected[0]));
        EXPECT_TRUE(bitEqual(actual[1], expected[1]));
        EXPECT_LE(steady.maxSourceFrames(), static_cast<int>(std::ceil(512 * ratio)));
    }
}

// A stereo pair, or one of its channels alone: the second equals the first (a tone) except
// over frames [9,000, 9,900) and at the last frame of the first render to reach each multiple
// of 500 (a difference at a render's end is the last one the adapter sees); there it is
// another tone. Renders are the same in every run with the same blocks, so the channels alone
// get the same signals.
class PairSource : public FixedRateSource {
public:
    explicit PairSource(int only = -1) : only_(only) {}

    void render(float* const* outputs, int frames, const TimedEvent*, int) override {
        const bool marksItsEnd = rendered_ + frames >= nextMark_;
        if (marksItsEnd) nextMark_ += 500;
        for (int i = 0; i < frames; ++i, ++rendered_) {
            const double t = static_cast<double>(rendered_) / kSourceRate;
            const auto first = static_cast<float>(0.5 * std::sin(2 * kPi * 440.0 * t));
            const bool differs =
                (marksItsEnd && i == frames - 1) || (rendered_ >= 9000 && rendered_ < 9900);
            const float second =
                differs ? static_cast<float>(0.3 * std::cos(2 * kPi * 3000.0 * t)) : first;
            if (only_ < 0) {
                outputs[0][i] = first;
                outputs[1][i] = second;
            } else {
                outputs[0][i] = only_ == 0 ? first : second;
            }
        }
    }

private:
    int only_;
    std::int64_t nextMark_ = 500;
    std::int64_t rendered_ = 0;
};

// Channels that match are filtered once; what comes out must still be each channel converted
// on its own, bit for bit, next to single differing frames and a differing render.
TEST(RateAdapterQuality, MatchingChannelsComeOutAsIfEachWereConvertedAlone) {
    // One-frame blocks put a block's first output at every source frame in turn.
    const std::vector<std::vector<int>> blockRuns = {kUnevenBlocks, {1}};
    for (double rate : {48000.0, 22050.0}) {
        for (const auto& blocks : blockRuns) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, first block " << blocks[0]);
            RateAdapter stereo(setupFor(rate, 512, 2));
            PairSource pair;
            const auto both = runAdapter(stereo, pair, 2, 12000, blocks);
            for (int channel = 0; channel < 2; ++channel) {
                RateAdapter mono(setupFor(rate, 512, 1));
                PairSource alone(channel);
                const auto expected = runAdapter(mono, alone, 1, 12000, blocks)[0];
                EXPECT_TRUE(bitEqual(both[channel], expected)) << "channel " << channel;
            }
        }
    }
}

TEST(RateAdapterEvents, BadInputGetsTheDocumentedAnswer) {
    for (double rate : {7999.0, 384001.0, std::nan("")}) {
        EXPECT_THROW(RateAdapter{setupFor(rate)}, std::invalid_argument);
    }
    EXPECT_THROW(RateAdapter(setupFor(48000, 0)), std::invalid_argument);
    EXPECT_THROW(RateAdapter(setupFor(48000, 512, 0)), std::invalid_argument);

    // Unsorted and out-of-range frames: clamped into the block, then sorted stably.
    AdapterSetup setup = setupFor(48000, 100);
    setup.maxEvents = 5;
    RateAdapter adapter(setup);
    TestSource source;
    std::vector<float> out(330);
    float* outputs[] = {out.data()};
    const TimedEvent given[] = {{50, {}, {0x90, 1, 1}}, {-3, {}, {0x90, 2, 1}},
                                {10, {}, {0x90, 3, 1}}, {999, {}, {0x90, 4, 1}},
                                {10, {}, {0x90, 5, 1}}, {20, {}, {0x90, 6, 1}}};
    adapter.process(source, outputs, 100, given, 6);
    EXPECT_EQ(adapter.droppedEvents(), 1u);  // only maxEvents are taken
    EXPECT_EQ(source.eventNotes, (std::vector<int>{2, 3, 5, 1, 4}));
    // A block longer than maxBlock goes in pieces; a zero-frame call's event waits for the next.
    adapter.process(source, outputs, 0, given + 5, 1);
    float* rest[] = {out.data() + 100};
    adapter.process(source, rest, 230, nullptr, 0);
    EXPECT_EQ(source.eventNotes, (std::vector<int>{2, 3, 5, 1, 4, 6}));
    EXPECT_EQ(source.eventFrames.back(), 92);  // E(100)
    for (int r : source.renders) EXPECT_LE(r, adapter.maxSourceFrames());

    RateAdapter again(setup);
    TestSource sameSource;
    const auto pieces = runAdapter(again, sameSource, 1, 330, {100, 0, 100, 100, 30},
                                   {{0, given[1]},
                                    {10, given[2]},
                                    {10, given[4]},
                                    {50, given[0]},
                                    {99, given[3]},
                                    {100, given[5]}});
    EXPECT_TRUE(bitEqual(out, pieces[0]));
    EXPECT_EQ(sameSource.eventNotes, source.eventNotes);
}

}  // namespace
