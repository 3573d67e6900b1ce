// The plug-in played through the rate adapter, loaded and driven through its entry point as a
// host does: the pitch at other rates, the onset of a note, the pass-through at 44.1 kHz.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "rate/rate_adapter.h"
#include "tests/rate/adapter_harness.h"
#include "tests/support/plugin_under_test.h"
#include "tests/support/signals.h"
#include "vst_host/plugin_source.h"

namespace {

using corvalen::rate::AdapterSetup;
using corvalen::rate::RateAdapter;
using corvalen::test::bitEqual;
using corvalen::test::firstCrossing;
using corvalen::test::midiEvent;
using corvalen::test::OutputEvent;
using corvalen::test::precisePeriod;
using corvalen::test::runAdapter;
using corvalen::vsthost::Plugin;
using corvalen::vsthost::PluginSource;

constexpr double kSourceRate = 44100.0;
const std::vector<int> kUnevenBlocks = {64, 1, 512, 17, 0, 200, 3, 511};

std::unique_ptr<Plugin> openPlugin() {
    auto plugin = Plugin::load(corvalen::test::pluginUnderTestPath(), {44100.0f, 512});
    plugin->resume();
    return plugin;
}

AdapterSetup setupFor(double targetRate) {
    AdapterSetup setup;
    setup.targetRate = targetRate;
    setup.maxBlock = 512;
    return setup;
}

// The left channel of the plug-in played through an adapter to `rate`.
std::vector<float> playThroughAdapter(double rate, std::int64_t frames,
                                      const std::vector<OutputEvent>& events,
                                      const std::vector<int>& blocks = kUnevenBlocks) {
    auto plugin = openPlugin();
    RateAdapter adapter(setupFor(rate));
    PluginSource source(*plugin, adapter.maxSourceEvents());
    return runAdapter(adapter, source, 2, frames, blocks, events)[0];
}

TEST(RatePlugin, A4KeepsThePitchOfThe44100Render) {
    const std::vector<OutputEvent> note = {{0, midiEvent(0x90, 69, 100)}};
    const std::vector<float> direct = playThroughAdapter(kSourceRate, 66150, note);
    const double period = precisePeriod(direct, 22050, 99.3);
    for (double rate : {22050.0, 48000.0, 96000.0, 192000.0}) {
        SCOPED_TRACE(rate);
        const std::vector<float> out =
            playThroughAdapter(rate, static_cast<std::int64_t>(1.5 * rate), note);
        const double converted =
            precisePeriod(out, static_cast<std::size_t>(rate / 2), period * rate / kSourceRate);
        const double cents = 1200 * std::log2((converted / rate) / (period / kSourceRate));
        EXPECT_LT(std::fabs(cents), 0.1);
    }
}

// The note's onset (where the sound first reaches a thousandth of full scale) comes out at
// its frame plus the latency, plus the plug-in's own time to reach that level at 44.1 kHz;
// the crossing, interpolated, is good to a few hundredths of a frame.
TEST(RatePlugin, ANotesOnsetComesOutAtItsFramePlusLatency) {
    const double level = 1e-3;
    const std::vector<float> direct =
        playThroughAdapter(kSourceRate, 8000, {{0, midiEvent(0x90, 69, 100)}});
    const double ownDelay = firstCrossing(direct, level);
    ASSERT_GT(ownDelay, 0.0);
    for (double rate : {22050.0, 48000.0, 96000.0, 192000.0}) {
        const int latency = RateAdapter(setupFor(rate)).latency();
        const double outputPerSource = rate / kSourceRate;
        for (std::int64_t frame : {1000, 1001, 1234, 1777}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, note at " << frame);
            const std::vector<float> out =
                playThroughAdapter(rate, frame + 4000, {{frame, midiEvent(0x90, 69, 100)}});
            const double onset = firstCrossing(out, level);
            const double delay = latency + ownDelay * outputPerSource;
            // The note starts at the nearest source frame, halves up: at most half a source
            // frame from its own.
            const double sourceFrame = std::floor(frame / outputPerSource + 0.5);
            EXPECT_NEAR(onset, sourceFrame * outputPerSource + delay, 0.05);
            EXPECT_NEAR(onset, frame + delay, 0.5 * outputPerSource + 0.05);
        }
    }
}

TEST(RatePlugin, PassThroughAt44100IsBitIdentical) {
    const std::vector<OutputEvent> events = {{0, midiEvent(0x90, 60, 100)},
                                             {777, midiEvent(0x90, 67, 90)},
                                             {778, midiEvent(0x80, 60, 0)},
                                             {5000, midiEvent(0x80, 67, 0)}};
    auto plugin = openPlugin();
    RateAdapter adapter(setupFor(kSourceRate));
    EXPECT_TRUE(adapter.passesThrough());
    EXPECT_EQ(adapter.latency(), 0);
    PluginSource source(*plugin, adapter.maxSourceEvents());
    const auto through = runAdapter(adapter, source, 2, 20000, kUnevenBlocks, events);

    // The plug-in alone, in 512-frame blocks.
    auto alone = openPlugin();
    corvalen::vsthost::EventList list;
    std::vector<float> left(20000), right(20000);
    std::size_t next = 0;
    for (int start = 0; start < 20000; start += 500) {
        list.clear();
        for (; next < events.size() && events[next].frame < start + 500; ++next) {
            const auto& midi = events[next].event.midi;
            list.addMidi(static_cast<VstInt32>(events[next].frame - start), midi[0], midi[1],
                         midi[2]);
        }
        alone->sendEvents(list.get());
        float* outputs[] = {left.data() + start, right.data() + start};
        alone->process(nullptr, outputs, 500);
    }
    EXPECT_GT(corvalen::test::peakMagnitude(left), 0.01);
    EXPECT_TRUE(bitEqual(through[0], left));
    EXPECT_TRUE(bitEqual(through[1], right));
}

}  // namespace
