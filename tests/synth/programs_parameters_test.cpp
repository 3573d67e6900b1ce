// Programs and parameters as the host sees them: names, labels, displayed values, selection,
// copying and renaming, and the refusal of values that would poison the string.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "tests/synth/synth_harness.h"

namespace corvalen::test {
namespace {

constexpr float kDefaults[6] = {0.5f, 0.6f, 0.12723f, 0.0f, 1.0f, 0.8f};

TEST(Parameters, NamesAndLabels) {
    LoadedSynth synth;
    const char* names[6] = {" Bow Pos",  " Bow Pres", " Mod Freq",
                            " Mod Gain", " Off Gain", " Level "};
    const char* labels[6] = {"   %    ", "   %    ", "   Hz   ",
                             "   %    ", "   %    ", "   dB   "};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(synth.text(effGetParamName, i), names[i]) << i;
        EXPECT_EQ(synth.text(effGetParamLabel, i), labels[i]) << i;
    }
    for (int outside : {-1, 6, 1000}) {
        EXPECT_EQ(synth.text(effGetParamName, outside), "");
        EXPECT_EQ(synth.text(effGetParamLabel, outside), "");
        EXPECT_EQ(synth.text(effGetParamDisplay, outside), "");
    }
}

TEST(Parameters, DefaultsAndTheirDisplays) {
    LoadedSynth synth;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(synth.getParameter(i), kDefaults[i]) << i;
    EXPECT_EQ(synth.getParameter(-1), 0.0f);
    EXPECT_EQ(synth.getParameter(6), 0.0f);
    const char* shown[6] = {"0.50", "0.60", "1.53", "0.00", "1.00", "-1.94"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(synth.text(effGetParamDisplay, i), shown[i]) << i;
}

TEST(Parameters, DisplayedValuesAtEdges) {
    LoadedSynth synth;
    synth.setParameter(0, 0.125f);
    EXPECT_EQ(synth.text(effGetParamDisplay, 0), "0.13");
    synth.setParameter(1, 0.124f);
    EXPECT_EQ(synth.text(effGetParamDisplay, 1), "0.12");
    synth.setParameter(2, 1.0f);
    EXPECT_EQ(synth.text(effGetParamDisplay, 2), "12.00");
    synth.setParameter(3, -0.004f);
    EXPECT_EQ(synth.text(effGetParamDisplay, 3), "0.00");
    synth.setParameter(4, -0.006f);
    EXPECT_EQ(synth.text(effGetParamDisplay, 4), "-0.01");
    synth.setParameter(5, 0.0f);
    EXPECT_EQ(synth.text(effGetParamDisplay, 5), "   -oo  ");
    synth.setParameter(5, -1.0f);
    EXPECT_EQ(synth.text(effGetParamDisplay, 5), "   -oo  ");
    synth.setParameter(5, 1.0f);
    EXPECT_EQ(synth.text(effGetParamDisplay, 5), "0.00");
    synth.setParameter(5, 0.5f);
    EXPECT_EQ(synth.text(effGetParamDisplay, 5), "-6.02");
}

TEST(Parameters, DisplayNeverOverrunsANineByteBuffer) {
    LoadedSynth synth;
    // Finite values far outside 0..1 are stored as they are; their numbers do not fit.
    struct Case {
        int index;
        float value;
        const char* shown;
    };
    const Case cases[] = {
        {0, 1e30f, "********"},
        {2, 1e30f, "********"},
        {4, -123456.0f, "********"},
        {3, 99999.99f, "99999.99"},  // exactly eight characters still fit
        {1, -9999.99f, "-9999.99"},
        {5, 1e30f, "600.00"},  // decibels stay short
        {5, std::numeric_limits<float>::max(), "770.64"},
    };
    for (const Case& c : cases) {
        synth.setParameter(c.index, c.value);
        EXPECT_EQ(synth.getParameter(c.index), c.value);
        char buffer[9 + 16];
        std::memset(buffer, 0x7F, sizeof buffer);
        synth.dispatch(effGetParamDisplay, c.index, 0, buffer);
        EXPECT_STREQ(buffer, c.shown) << c.index << " " << c.value;
        for (std::size_t i = 9; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 0x7F) << i;
    }
}

TEST(Parameters, NonFiniteValuesAreIgnored) {
    LoadedSynth synth;
    synth.setParameter(0, 0.25f);
    for (float bad :
         {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
          -std::numeric_limits<float>::infinity()}) {
        synth.setParameter(0, bad);
        synth.setParameter(5, bad);
        EXPECT_EQ(synth.getParameter(0), 0.25f);
        EXPECT_EQ(synth.getParameter(5), 0.8f);
    }
    // Nothing reached the instrument: the sound stays finite.
    synth.sendMidi({noteOn(0, 60)});
    for (float sample : synth.play(8192)) ASSERT_TRUE(std::isfinite(sample));
}

TEST(Parameters, OutOfRangeIndexChangesNothing) {
    LoadedSynth synth;
    synth.setParameter(6, 0.3f);
    synth.setParameter(-1, 0.3f);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(synth.getParameter(i), kDefaults[i]);
}

TEST(Programs, NamesAfterConstruction) {
    LoadedSynth synth;
    for (int n = 0; n < 32; ++n) {
        EXPECT_EQ(synth.text(effGetProgramNameIndexed, n), "init" + std::to_string(n + 1));
    }
    EXPECT_EQ(synth.text(effGetProgramName), "init1");
    char buffer[32] = "untouched";
    EXPECT_EQ(synth.dispatch(effGetProgramNameIndexed, 32, 0, buffer), 0);
    EXPECT_EQ(synth.dispatch(effGetProgramNameIndexed, -1, 0, buffer), 0);
    EXPECT_STREQ(buffer, "untouched");
    // The category (value) is ignored.
    EXPECT_EQ(synth.dispatch(effGetProgramNameIndexed, 31, 7, buffer), 1);
    EXPECT_STREQ(buffer, "init32");
}

TEST(Programs, EveryProgramStartsWithTheSameSixValues) {
    // Bow Pos 0.5, Bow Pres 0.6, Mod Freq 0.12723, Mod Gain 0, Off Gain 1, Level 0.8, as singles.
    const float stored[6] = {0.5f, 0.6000000238418579f, 0.12723000347614288f, 0.0f,
                             1.0f, 0.800000011920929f};
    LoadedSynth synth;
    for (int program = 0; program < 32; ++program) {
        synth.dispatch(effSetProgram, 0, program);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(synth.getParameter(i), stored[i]) << program << "/" << i;
    }
}

TEST(Programs, SelectRestoresStoredValues) {
    LoadedSynth synth;
    for (int i = 0; i < 6; ++i) synth.setParameter(i, 0.1f * i + 0.05f);
    synth.dispatch(effSetProgram, 0, 3);
    EXPECT_EQ(synth.dispatch(effGetProgram), 3);
    EXPECT_EQ(synth.text(effGetProgramName), "init4");
    for (int i = 0; i < 6; ++i) EXPECT_EQ(synth.getParameter(i), kDefaults[i]) << i;
    // Re-selecting the current program also drops changes.
    synth.setParameter(2, 0.9f);
    synth.dispatch(effSetProgram, 0, 3);
    EXPECT_EQ(synth.getParameter(2), kDefaults[2]);
}

TEST(Programs, OutOfRangeNumbersAreIgnored) {
    LoadedSynth synth;
    synth.dispatch(effSetProgram, 0, 5);
    synth.setParameter(0, 0.3f);
    for (VstIntPtr bad : {VstIntPtr{32}, VstIntPtr{-1}, VstIntPtr{1000}}) {
        synth.dispatch(effSetProgram, 0, bad);
        EXPECT_EQ(synth.dispatch(effGetProgram), 5);
        EXPECT_EQ(synth.getParameter(0), 0.3f);
    }
    EXPECT_EQ(synth.dispatch(effCopyProgram, 32), 0);
    EXPECT_EQ(synth.dispatch(effCopyProgram, -1), 0);
}

TEST(Programs, RenameAndCopy) {
    LoadedSynth synth;
    synth.dispatch(effSetProgram, 0, 2);
    char name[] = "Warm cello";
    synth.dispatch(effSetProgramName, 0, 0, name);
    EXPECT_EQ(synth.text(effGetProgramName), "Warm cello");
    EXPECT_EQ(synth.text(effGetProgramNameIndexed, 2), "Warm cello");
    // Parameter changes never reach the stored programs, so the copy carries stored values.
    synth.setParameter(0, 0.9f);
    EXPECT_EQ(synth.dispatch(effCopyProgram, 5), 1);
    EXPECT_EQ(synth.text(effGetProgramNameIndexed, 5), "Warm cello");
    EXPECT_EQ(synth.text(effGetProgramNameIndexed, 2), "Warm cello");
    synth.dispatch(effSetProgram, 0, 5);
    EXPECT_EQ(synth.getParameter(0), 0.5f);
    EXPECT_EQ(synth.text(effGetProgramNameIndexed, 4), "init5");
}

TEST(Programs, OverlongNameIsCutTo23Characters) {
    LoadedSynth synth;
    std::string longName(200, 'x');
    for (int i = 0; i < 200; ++i) longName[i] = static_cast<char>('a' + i % 26);
    synth.dispatch(effSetProgramName, 0, 0, longName.data());
    EXPECT_EQ(synth.text(effGetProgramName), longName.substr(0, 23));
    // The neighbouring program is intact.
    EXPECT_EQ(synth.text(effGetProgramNameIndexed, 1), "init2");

    std::string exact(23, 'q');
    synth.dispatch(effSetProgramName, 0, 0, exact.data());
    EXPECT_EQ(synth.text(effGetProgramName), exact);
    char empty[] = "";
    synth.dispatch(effSetProgramName, 0, 0, empty);
    EXPECT_EQ(synth.text(effGetProgramName), "");
}

}  // namespace
}  // namespace corvalen::test
