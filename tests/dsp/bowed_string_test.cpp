#include "dsp/bowed_string.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "tests/support/float_bits.h"
#include "tests/support/signals.h"

using velquistdsp::tadsr;
using velquistdsp::tbowedstring;

using corvalen::test::bitsOf;
namespace {

// The instrument as the plug-in sets it up: 20 Hz lowest frequency, released at once.
struct PluginString {
    tbowedstring string{20.0f};
    PluginString() { string.noteOff(0.0f); }
};

std::vector<float> render(tbowedstring& string, int samples) {
    std::vector<float> out(samples);
    for (float& sample : out) sample = string.computeSample();
    return out;
}

}  // namespace

TEST(BowedString, ConstructionSizesAndDefaults) {
    tbowedstring string(20.0f);
    EXPECT_EQ(2207, string.nutLine.length);     // N = 44100 / 20 + 1 = 2206
    EXPECT_EQ(1104, string.bridgeLine.length);  // N / 2 = 1103
    EXPECT_SAME_FLOAT(100.0f, string.nutLine.delay);
    EXPECT_SAME_FLOAT(29.0f, string.bridgeLine.delay);
    EXPECT_SAME_FLOAT(3.0f, string.bow.slope);
    EXPECT_SAME_FLOAT(1.0f - 0.55f, string.lossFilter.numerator[0]);
    EXPECT_SAME_FLOAT(0.95f, string.lossFilter.getGain());
    EXPECT_SAME_FLOAT(-0x1.b218ap+0f, string.bodyResonator.denominator[1]);
    EXPECT_SAME_FLOAT(-1.0f, string.bodyResonator.numerator[2]);
    EXPECT_SAME_FLOAT(0.2f, string.bodyResonator.getGain());
    EXPECT_SAME_FLOAT(0x1.33fcfap-3f, string.modulator.phaseStep);  // rate 6.12723
    EXPECT_SAME_FLOAT(0.0f, string.modulator.vibratoGain);
    EXPECT_SAME_FLOAT(0.0f, string.modulator.randomGain);
    EXPECT_SAME_FLOAT(0x1.293726p-10f, string.envelope.attackRate);
    EXPECT_SAME_FLOAT(0.9f, string.envelope.sustainLevel);
    EXPECT_SAME_FLOAT(0.127236f, string.bowPosition);
    EXPECT_SAME_FLOAT(0.0f, string.loopDelay);
    EXPECT_SAME_FLOAT(0.0f, string.bowVelocityScale);
    EXPECT_SAME_FLOAT(0.0f, string.lastOutput());

    // Halves round to even: 44100 / 17640 + 1 = 3.5 gives 4, 44100 / 29400 + 1 = 2.5 gives 2.
    EXPECT_EQ(5, tbowedstring(17640.0f).nutLine.length);
    EXPECT_EQ(3, tbowedstring(29400.0f).nutLine.length);
    // No caller passes these; they must still give a usable instrument.
    EXPECT_EQ(2207, tbowedstring(0.0f).nutLine.length);
    EXPECT_EQ(2207, tbowedstring(std::numeric_limits<float>::quiet_NaN()).nutLine.length);
    EXPECT_EQ(tbowedstring::maximumLineLength + 1, tbowedstring(1e-9f).nutLine.length);
}

TEST(BowedString, SilentBeforeTheFirstNote) {
    tbowedstring fresh(20.0f);
    for (float sample : render(fresh, 3000)) ASSERT_SAME_FLOAT(0.0f, sample);
    PluginString released;
    for (float sample : render(released.string, 3000)) ASSERT_SAME_FLOAT(0.0f, sample);
    EXPECT_EQ(tadsr::DONE, released.string.envelope.getState());
}

TEST(BowedString, FirstNoteStartsAfterTheBridgeSideDelay) {
    PluginString plugin;
    tbowedstring& string = plugin.string;
    string.noteOn(441.0f, 1.0f);
    EXPECT_SAME_FLOAT(96.0f, string.loopDelay);
    EXPECT_SAME_FLOAT(0x1.86de74p+3f, string.bridgeLine.delay);  // about 12.214655
    // (1 - bowPosition) * loopDelay formed in double and rounded once: about 83.785347. Rounding
    // 1 - bowPosition to single first would give the value one ulp lower.
    EXPECT_SAME_FLOAT(0x1.4f2432p+6f, string.nutLine.delay);
    EXPECT_NE(bitsOf((1.0f - string.bowPosition) * string.loopDelay), bitsOf(string.nutLine.delay));
    const std::vector<float> out = render(string, 13);
    for (int i = 0; i < 12; ++i) EXPECT_SAME_FLOAT(0.0f, out[i]) << i;
    EXPECT_NE(0.0f, out[12]);
    EXPECT_SAME_FLOAT(out[12], string.lastOutput());
}

TEST(BowedString, SustainedToneHasAPeriodOfAboutNinetyNineSamples) {
    PluginString plugin;
    plugin.string.noteOn(441.0f, 1.0f);
    const std::vector<float> out = render(plugin.string, 20000);
    double energy = 0.0;
    for (int i = 10000; i < 20000; ++i) {
        ASSERT_TRUE(std::isfinite(out[i]));
        energy += double(out[i]) * out[i];
    }
    EXPECT_GT(energy, 1e-3);
    // Loop delay 96 plus the delays of the bridge filter and the bow coupling.
    EXPECT_NEAR(99, corvalen::test::periodBetween(out, 10000, 4000, 60, 140), 1);
}

TEST(BowedString, BowVelocityScale) {
    PluginString plugin;
    plugin.string.noteOn(440.0f, 0.0f);
    EXPECT_SAME_FLOAT(0.03f, plugin.string.bowVelocityScale);
    plugin.string.noteOn(440.0f, 1.0f);
    EXPECT_SAME_FLOAT(0.23f, plugin.string.bowVelocityScale);
    EXPECT_EQ(tadsr::ATTACK, plugin.string.envelope.getState());
}

TEST(BowedString, SetFrequencyLoopDelays) {
    tbowedstring string(20.0f);
    string.setFrequency(440.0f);
    EXPECT_SAME_FLOAT(0x1.80e8bap+6f, string.loopDelay);  // about 96.227272
    EXPECT_SAME_FLOAT(0x1.87cb58p+3f, string.bridgeLine.delay);
    EXPECT_SAME_FLOAT(0x1.4fef4ep+6f, string.nutLine.delay);

    string.setFrequency(11025.0f);
    EXPECT_SAME_FLOAT(0.0f, string.loopDelay);
    EXPECT_SAME_FLOAT(0.0f, string.bridgeLine.delay);
    EXPECT_SAME_FLOAT(0.0f, string.nutLine.delay);

    string.setFrequency(12000.0f);
    EXPECT_SAME_FLOAT(0.3f, string.loopDelay);
    EXPECT_SAME_FLOAT(0x1.38b1f8p-5f, string.bridgeLine.delay);  // about 0.0381708
    EXPECT_SAME_FLOAT(0x1.0c1cf4p-2f, string.nutLine.delay);     // about 0.2618292

    for (float odd : {-440.0f, std::numeric_limits<float>::quiet_NaN(),
                      -std::numeric_limits<float>::infinity()}) {
        string.setFrequency(odd);
        EXPECT_SAME_FLOAT(0.3f, string.loopDelay);
    }
    // Below the lowest frequency the nut line clamps to its maximum.
    string.setFrequency(8.18f);
    EXPECT_NEAR(4701.75, (1.0 - string.bowPosition) * string.loopDelay, 0.01);
    EXPECT_SAME_FLOAT(2206.0f, string.nutLine.delay);
    string.setFrequency(0.0f);  // no caller does this; the lines clamp all the same
    EXPECT_SAME_FLOAT(2206.0f, string.nutLine.delay);
    EXPECT_SAME_FLOAT(1103.0f, string.bridgeLine.delay);
    for (float sample : render(string, 100)) ASSERT_TRUE(std::isfinite(sample));
}

TEST(BowedString, BowPositionControl) {
    tbowedstring string(20.0f);
    string.controlChange(0, 64.0f);
    EXPECT_SAME_FLOAT(0.127236f, string.bowPosition);
    // Before the first note the loop delay is 0, so both delays become 0.
    EXPECT_SAME_FLOAT(0.0f, string.bridgeLine.delay);
    EXPECT_SAME_FLOAT(0.0f, string.nutLine.delay);
    string.controlChange(0, 0.0f);
    EXPECT_SAME_FLOAT(0.027236f, string.bowPosition);
    string.controlChange(0, 127.0f);
    EXPECT_SAME_FLOAT(0x1.ce2de8p-3f, string.bowPosition);  // about 0.2256735

    string.setFrequency(441.0f);
    string.controlChange(0, 64.0f);
    EXPECT_SAME_FLOAT(0x1.86de74p+3f, string.bridgeLine.delay);
    EXPECT_SAME_FLOAT(0x1.4f2432p+6f, string.nutLine.delay);

    // Out-of-range values from a host must keep both lines inside their buffers.
    for (float odd : {1e9f, -1e9f, std::numeric_limits<float>::quiet_NaN()}) {
        string.controlChange(0, odd);
        EXPECT_GE(string.nutLine.delay, 0.0f);
        EXPECT_LE(string.nutLine.delay, 2206.0f);
        EXPECT_GE(string.bridgeLine.delay, 0.0f);
        EXPECT_LE(string.bridgeLine.delay, 1103.0f);
    }
}

TEST(BowedString, PressureRateAndTargetControls) {
    tbowedstring string(20.0f);
    string.controlChange(120, 0.0f);
    EXPECT_SAME_FLOAT(5.0f, string.bow.slope);
    string.controlChange(120, 127.0f);
    EXPECT_SAME_FLOAT(1.03125f, string.bow.slope);
    string.controlChange(120, 128.0f);
    EXPECT_SAME_FLOAT(1.0f, string.bow.slope);

    string.controlChange(11, 64.0f);
    EXPECT_SAME_FLOAT(0x1.2d97c8p-3f, string.modulator.phaseStep);  // rate 6
    string.controlChange(11, 127.0f);
    EXPECT_SAME_FLOAT(static_cast<float>(11.90625 * (6.28318530718 / 256)),
                      string.modulator.phaseStep);

    string.controlChange(128, 64.0f);
    EXPECT_SAME_FLOAT(0.5f, string.envelope.target);
    EXPECT_SAME_FLOAT(0.5f, string.envelope.sustainLevel);
}

TEST(BowedString, ModulationDepthResetsTheNutDelayEverySample) {
    tbowedstring before(20.0f);
    before.controlChange(1, 0.0f);
    EXPECT_SAME_FLOAT(0.0f, before.modulationDepth);
    before.computeSample();
    EXPECT_SAME_FLOAT(100.0f, before.nutLine.delay);  // depth 0 leaves the line alone
    before.controlChange(1, 16.0f);
    EXPECT_SAME_FLOAT(16.0f, before.modulationDepth);
    before.computeSample();
    EXPECT_SAME_FLOAT(0.0f, before.nutLine.delay);  // no note yet: loop delay 0
    EXPECT_SAME_FLOAT(29.0f, before.bridgeLine.delay);

    // During a note the delay stays at its unmodulated value, but the read position is rounded
    // afresh from the current write position every sample, which changes the samples.
    PluginString plain;
    PluginString modulated;
    modulated.string.controlChange(1, 1.0f);
    plain.string.noteOn(441.0f, 1.0f);
    modulated.string.noteOn(441.0f, 1.0f);
    const float nutDelay = plain.string.nutLine.delay;
    bool differs = false;
    for (int i = 0; i < 5000; ++i) {
        const float a = plain.string.computeSample();
        const float b = modulated.string.computeSample();
        differs = differs || bitsOf(a) != bitsOf(b);
        const velquistdsp::tdlinel& line = modulated.string.nutLine;
        ASSERT_SAME_FLOAT(nutDelay, line.delay);
        double position = static_cast<float>(line.writeIndex - static_cast<double>(nutDelay));
        if (position < 0) position = static_cast<float>(position + line.length);
        ASSERT_EQ(static_cast<int>(position), line.readIndex);
        ASSERT_SAME_FLOAT(static_cast<float>(position - line.readIndex), line.fraction);
    }
    EXPECT_TRUE(differs);
}

TEST(BowedString, UnlistedControlsChangeNothing) {
    PluginString plugin;
    tbowedstring& string = plugin.string;
    string.noteOn(441.0f, 0.5f);
    render(string, 50);
    tbowedstring twin(20.0f);
    twin.noteOff(0.0f);
    twin.noteOn(441.0f, 0.5f);
    render(twin, 50);
    for (int number : {-1, 2, 7, 10, 12, 64, 119, 121, 127, 129, 100000}) {
        string.controlChange(number, 100.0f);
    }
    EXPECT_SAME_FLOAT(0.127236f, string.bowPosition);
    EXPECT_SAME_FLOAT(0.0f, string.modulationDepth);
    EXPECT_SAME_FLOAT(3.0f, string.bow.slope);
    const std::vector<float> a = render(string, 2000);
    const std::vector<float> b = render(twin, 2000);
    for (int i = 0; i < 2000; ++i) ASSERT_SAME_FLOAT(b[i], a[i]) << i;
}

TEST(BowedString, NoteOffAmplitudeHasNoEffect) {
    PluginString soft;
    PluginString hard;
    soft.string.noteOn(330.0f, 0.8f);
    hard.string.noteOn(330.0f, 0.8f);
    render(soft.string, 3000);
    render(hard.string, 3000);
    soft.string.noteOff(0.0f);
    hard.string.noteOff(1.0f);
    EXPECT_EQ(tadsr::RELEASE, soft.string.envelope.getState());
    const std::vector<float> a = render(soft.string, 3000);
    const std::vector<float> b = render(hard.string, 3000);
    for (int i = 0; i < 3000; ++i) ASSERT_SAME_FLOAT(a[i], b[i]) << i;
}

TEST(BowedString, NoteOnDuringANoteRetunesWithoutClearing) {
    PluginString plugin;
    tbowedstring& string = plugin.string;
    string.noteOn(441.0f, 1.0f);
    render(string, 2000);
    string.noteOff(0.0f);
    render(string, 100);
    const float released = string.envelope.value;
    ASSERT_GT(released, 0.0f);
    ASSERT_LT(released, 0.9f);
    const float lastBridgeOutput = string.bridgeLine.lastOutput();
    string.noteOn(220.5f, 1.0f);
    EXPECT_SAME_FLOAT(196.0f, string.loopDelay);
    // The string still holds the old note and the envelope climbs from where it was.
    EXPECT_SAME_FLOAT(lastBridgeOutput, string.bridgeLine.lastOutput());
    string.computeSample();
    EXPECT_SAME_FLOAT(released + string.envelope.attackRate, string.envelope.value);
    EXPECT_NE(0.0f, string.lastOutput());
}
