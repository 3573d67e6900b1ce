// corvalen-render with a VST 2 instrument that nobody on this project wrote: Kars, a
// Karplus-Strong synthesizer from Debian's dpf-plugins-vst (binary only).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>

#include "tests/support/signals.h"
#include "tests/tools/test_support.h"

namespace {

using corvalen::test::quoted;
using corvalen::test::runCommand;

constexpr const char* kKars = "/usr/lib/vst/Kars-vst.so";

class ThirdPartyInstrument : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(kKars, R_OK) != 0) {
            GTEST_SKIP() << kKars << " is not installed (Debian package dpf-plugins-vst)";
        }
    }
    corvalen::test::TempFolder folder_;
};

TEST_F(ThirdPartyInstrument, InfoNamesThePlugin) {
    const auto result = runCommand(quoted(RENDER_EXE) + " --info -p " + kKars);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("Name:        Kars\n"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("Vendor:      falkTX\n"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find(", instrument\n"), std::string::npos) << result.output;
}

TEST_F(ThirdPartyInstrument, RendersANoteThatSoundsAndStaysFinite) {
    // A4 for one beat at 120 bpm: 0.5 s.
    corvalen::test::writeFile(folder_.file("a4.mid"), corvalen::test::SmfBuilder(0, 1, 480)
                                                          .beginTrack()
                                                          .delta(0)
                                                          .bytes({0x90, 69, 100})
                                                          .delta(480)
                                                          .bytes({0x80, 69, 0})
                                                          .endTrack()
                                                          .build());
    const auto result =
        runCommand(quoted(RENDER_EXE) + " -p " + kKars + " --format float -o " +
                   quoted(folder_.file("kars.wav")) + " " + quoted(folder_.file("a4.mid")));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("no NaN or infinite samples"), std::string::npos);
    const auto wav = corvalen::test::readWav(folder_.file("kars.wav"));
    ASSERT_FALSE(wav.channels.empty());
    double peak = 0.0;
    for (const auto& channel : wav.channels) {
        for (float sample : channel) {
            ASSERT_TRUE(std::isfinite(sample));
            peak = std::max(peak, std::fabs(static_cast<double>(sample)));
        }
    }
    EXPECT_GT(peak, 0.01) << "the note is audible (above -40 dBFS)";
    // Kars plucks at the note's pitch: 440 Hz within a quarter tone (a plucked string's
    // pitch is set by a whole-sample delay, so it may be off by a few cents).
    const double frequency =
        corvalen::test::estimateFrequency(wav.channels[0], 2000, 4096, 44100, 200.0, 1000.0);
    EXPECT_NEAR(1200.0 * std::log2(frequency / 440.0), 0.0, 50.0) << frequency << " Hz";
}

}  // namespace
