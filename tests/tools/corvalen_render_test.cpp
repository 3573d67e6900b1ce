// Renders MIDI through the Corvalen plug-in built in this tree and checks, in the WAV file,
// when each note starts and at what pitch it sounds.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/signals.h"
#include "tests/tools/test_support.h"

namespace {

using corvalen::test::quoted;
using corvalen::test::SmfBuilder;

constexpr double kRate = 44100.0;

double cents(double frequency, double reference) {
    return 1200.0 * std::log2(frequency / reference);
}

double noteFrequency(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// First frame at or after `from` whose magnitude exceeds `level`.
std::size_t firstAbove(const std::vector<float>& samples, std::size_t from, float level) {
    for (std::size_t i = from; i < samples.size(); ++i) {
        if (std::fabs(samples[i]) > level) return i;
    }
    return samples.size();
}

double rms(const std::vector<float>& samples, std::size_t start, std::size_t length) {
    double sum = 0.0;
    for (std::size_t i = start; i < start + length && i < samples.size(); ++i) {
        sum += static_cast<double>(samples[i]) * samples[i];
    }
    return std::sqrt(sum / static_cast<double>(length));
}

class CorvalenRender : public ::testing::Test {
protected:
    corvalen::test::Wav renderMidi(const std::vector<std::uint8_t>& midi,
                                   const std::string& extra) {
        corvalen::test::writeFile(folder_.file("in.mid"), midi);
        const auto result = corvalen::test::runCommand(
            quoted(RENDER_EXE) + " -p " + quoted(CORVALEN_PLUGIN_PATH) + " --format float -o " +
            quoted(folder_.file("out.wav")) + " " + extra + " " + quoted(folder_.file("in.mid")));
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return corvalen::test::readWav(folder_.file("out.wav"));
    }
    corvalen::test::TempFolder folder_;
};

// A4 from tick 100 to 580 at 120 bpm, a tempo change to 100 bpm at tick 960, A3 from tick
// 1920 to 2880 (with the tempo change: 2.2 s, against 2.0 s without it), then C6.
std::vector<std::uint8_t> threeNotes() {
    return SmfBuilder(1, 2, 480)
        .beginTrack()
        .delta(0)
        .tempo(500000)
        .delta(960)
        .tempo(600000)
        .endTrack()
        .beginTrack()
        .delta(100)
        .bytes({0x90, 69, 127})
        .delta(480)
        .bytes({0x80, 69, 64})
        .delta(1340)
        .bytes({0x90, 57, 100})
        .delta(960)
        .bytes({0x80, 57, 0})
        .delta(480)
        .bytes({0x90, 84, 110})
        .delta(960)
        .bytes({0x80, 84, 0})
        .endTrack()
        .build();
}

TEST_F(CorvalenRender, FirstNoteStartsOnItsFrameAfterTheBridgeDelay) {
    const auto wav = renderMidi(threeNotes(), "-b 256");
    ASSERT_EQ(wav.channels.size(), 2u);
    EXPECT_EQ(wav.channels[0], wav.channels[1]) << "both outputs carry the same signal";
    // Note on at tick 100: 4593.75 frames, so frame 4594 (offset 242 in the 18th block). A new
    // instrument stays exactly silent for the whole part of loopDelay × bowPosition frames:
    // (44100/440 − 4) × 0.127236 = 12.24, so the first sound is at frame 4594 + 12.
    const auto& samples = wav.channels[0];
    EXPECT_EQ(firstAbove(samples, 0, 0.0f), 4606u);
}

TEST_F(CorvalenRender, NotesSoundAtTheirPitchAndTimeAcrossATempoChange) {
    const auto wav = renderMidi(threeNotes(), "-b 512");
    ASSERT_EQ(wav.channels.size(), 2u);
    const auto& samples = wav.channels[0];
    struct Expected {
        int note;
        std::size_t onFrame;  // from the tempo map
        std::size_t offFrame;
    };
    // 120 bpm: 45.9375 frames per tick up to tick 960 (44100); then 55.125 frames per tick.
    const Expected notes[] = {{69, 4594, 26644}, {57, 97020, 149940}, {84, 176400, 229320}};
    for (const Expected& note : notes) {
        SCOPED_TRACE(note.note);
        // Before the note the previous one has died away; half a second into it, it sounds.
        const double before = rms(samples, note.onFrame - 2205, 2205);
        const double during = rms(samples, note.onFrame + 11025, 4410);
        EXPECT_GT(during, 0.05);
        EXPECT_LT(before, during * 0.01) << "at least 40 dB quieter before the note on";
        // The sound starts after the bridge-side delay (loopDelay × 0.127236 frames, under 64
        // frames for every note here) and not before the note on.
        const double loopDelay = kRate / noteFrequency(note.note) - 4.0;
        const std::size_t onset =
            firstAbove(samples, note.onFrame - 2205, static_cast<float>(before * 4 + 1e-4));
        EXPECT_GE(onset, note.onFrame);
        EXPECT_LE(onset, note.onFrame + static_cast<std::size_t>(loopDelay * 0.127236) + 64);
        // The bowed string plays the note: nearer to it than to either neighbour (within 50
        // cents). The model is sharp by design: its loop is shorter than the note's period by
        // a fixed 4 frames less the filters' delay, which weighs more the higher the note
        // (measured here: +17, +8 and +43 cents for A4, A3 and C6).
        const double frequency = corvalen::test::estimateFrequency(
            samples, note.onFrame + 8820, 8192, kRate, noteFrequency(note.note) / 1.5,
            noteFrequency(note.note) * 1.5);
        EXPECT_NEAR(cents(frequency, noteFrequency(note.note)), 0.0, 50.0) << frequency << " Hz";
        // After the note off the bow stops and the string rings down.
        const double after = rms(samples, note.offFrame + 22050, 2205);
        EXPECT_LT(after, during * 0.01);
    }
}

TEST_F(CorvalenRender, BlockSizeDoesNotChangeASingleSample) {
    const auto large = renderMidi(threeNotes(), "-b 4096 --tail 1");
    const auto small = renderMidi(threeNotes(), "-b 7 --tail 1");
    ASSERT_EQ(large.channels.size(), 2u);
    ASSERT_EQ(small.channels.size(), 2u);
    EXPECT_EQ(large.channels[0], small.channels[0]);
}

// Corvalen computes at 44.1 kHz whatever the host says: at 48 kHz it plays sharp, which the
// tool says; rendered at 44.1 kHz and converted, an A4 keeps its 44.1 kHz pitch within a cent.
TEST_F(CorvalenRender, ARenderRateOf44100KeepsThePitchInA48kFile) {
    const auto a4 = SmfBuilder(0, 1, 480)
                        .beginTrack()
                        .delta(0)
                        .bytes({0x90, 69, 110})
                        .delta(1920)
                        .bytes({0x80, 69, 0})
                        .endTrack()
                        .build();
    const auto reference = renderMidi(a4, "--tail 0");
    corvalen::test::writeFile(folder_.file("in.mid"), a4);
    const std::string base = quoted(RENDER_EXE) + " -p " + quoted(CORVALEN_PLUGIN_PATH) +
                             " --format float --tail 0 " + quoted(folder_.file("in.mid")) + " -o ";
    const auto sharp =
        corvalen::test::runCommand(base + quoted(folder_.file("sharp.wav")) + " -r 48000");
    EXPECT_EQ(sharp.exitCode, 0);
    EXPECT_NE(
        sharp.output.find("warning: Corvalen computes at 44100 Hz whatever the host's rate: at "
                          "48000 Hz it plays 1.47 semitones sharp; add --render-rate 44100"),
        std::string::npos)
        << sharp.output;
    const auto converted = corvalen::test::runCommand(base + quoted(folder_.file("48k.wav")) +
                                                      " -r 48000 --render-rate 44100");
    ASSERT_EQ(converted.exitCode, 0) << converted.output;
    EXPECT_EQ(converted.output.find("warning"), std::string::npos) << converted.output;
    const auto wav = corvalen::test::readWav(folder_.file("48k.wav"));
    ASSERT_EQ(wav.sampleRate, 48000);
    ASSERT_EQ(wav.channels.size(), 2u);
    ASSERT_EQ(reference.channels.size(), 2u);
    // Two seconds at either rate, give or take the converter's last frames.
    EXPECT_NEAR(static_cast<double>(wav.channels[0].size()), 96000.0, 2.0);
    const double at44 =
        corvalen::test::estimateFrequency(reference.channels[0], 44100, 32768, kRate, 300.0, 600.0);
    const double at48 = corvalen::test::estimateFrequency(wav.channels[0], 48000, 32768 * 48 / 44,
                                                          48000.0, 300.0, 600.0);
    EXPECT_NEAR(cents(at48, at44), 0.0, 1.0) << at44 << " Hz against " << at48 << " Hz";
    const auto sharpWav = corvalen::test::readWav(folder_.file("sharp.wav"));
    const double sharpHz = corvalen::test::estimateFrequency(sharpWav.channels.at(0), 48000, 32768,
                                                             48000.0, 300.0, 700.0);
    EXPECT_NEAR(cents(sharpHz, at44), 147.0, 5.0) << sharpHz << " Hz";
}

}  // namespace
