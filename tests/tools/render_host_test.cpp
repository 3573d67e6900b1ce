// corvalen-render as a host, driven end to end against the recording fixture plug-in: the
// calls it makes, the events it delivers, what it does with buffers, and its exit codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/tools/test_support.h"

namespace {

using render_test::quoted;
using render_test::readLines;
using render_test::readWav;
using render_test::runCommand;
using render_test::SmfBuilder;
using render_test::TempFolder;

class RenderHost : public ::testing::Test {
protected:
    // Runs the tool with the fixture; the fixture's log goes to log().
    render_test::CommandResult render(const std::string& arguments, const std::string& mode = "") {
        return runCommand("CORVALEN_FIXTURE_LOG=" + quoted(log()) +
                          " CORVALEN_FIXTURE_MODE=" + quoted(mode) + " " + quoted(RENDER_EXE) +
                          " --plugin " + quoted(RECORDER_PLUGIN) + " " + arguments);
    }
    std::string log() const { return folder_.file("calls.log"); }
    std::string file(const std::string& name) const { return folder_.file(name); }
    std::string midi(const std::vector<std::uint8_t>& bytes) {
        const std::string path = file("input.mid");
        render_test::writeFile(path, bytes);
        return path;
    }
    std::vector<std::string> calls() const { return readLines(log()); }

private:
    TempFolder folder_;
};

// Note ons at ticks 0, 100, 1000 (tempo 120, 480 per beat: 45.9375 frames per tick), a tempo
// change to 60 bpm at tick 960, and a note on at 1440, left hanging.
std::vector<std::uint8_t> fourNotes() {
    return SmfBuilder(1, 2, 480)
        .beginTrack()
        .delta(960)
        .tempo(1000000)
        .endTrack()
        .beginTrack()
        .delta(0)
        .bytes({0x90, 60, 127})
        .delta(100)
        .bytes({0x90, 62, 100})
        .delta(800)
        .bytes({0x80, 60, 0})
        .delta(100)
        .bytes({0x93, 64, 50})
        .delta(0)
        .bytes({0x83, 62, 0})
        .delta(440)
        .bytes({0x90, 67, 80})
        .endTrack()
        .build();
}

std::vector<std::size_t> nonZeroFrames(const std::vector<float>& samples) {
    std::vector<std::size_t> frames;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] != 0.0f) frames.push_back(i);
    }
    return frames;
}

TEST_F(RenderHost, CallsThePluginInTheOrderHostsDo) {
    const auto result = render(
        "-r 48000 -b 256 --program 2 --param '  tone COLOUR =0.75' "
        "--param 0=0.5 --tail 0 -o " +
        quoted(file("out.wav")) + " " + quoted(midi(fourNotes())));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const auto lines = calls();
    ASSERT_GE(lines.size(), 12u);
    // Answers to the plug-in's questions during the entry point.
    EXPECT_EQ(lines[0], "host version 2400");
    EXPECT_EQ(lines[1], "host canDo sendVstMidiEvent 1");
    EXPECT_EQ(lines[2], "host canDo juggle 0");
    EXPECT_EQ(lines[3], "host opcode 9999 0");
    EXPECT_EQ(lines[4], "host sample rate 48000");
    EXPECT_EQ(lines[5], "host block size 256");
    // open, sample rate, block size, program, parameters, resume.
    EXPECT_EQ(lines[6], "dispatch 0 0 0 0");
    EXPECT_EQ(lines[7], "dispatch 10 0 0 48000");
    EXPECT_EQ(lines[8], "dispatch 11 0 256 0");
    EXPECT_EQ(lines[9], "dispatch 2 0 2 0");
    EXPECT_EQ(lines[10], "setParameter 1 0.75");
    EXPECT_EQ(lines[11], "setParameter 0 0.5");
    EXPECT_EQ(lines[12], "dispatch 12 0 1 0");
    // suspend, close at the end.
    EXPECT_EQ(lines[lines.size() - 2], "dispatch 12 0 0 0");
    EXPECT_EQ(lines.back(), "dispatch 1 0 0 0");
    // In between only event lists, each followed by the block they belong to.
    for (std::size_t i = 13; i + 2 < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.rfind("events ", 0) == 0) {
            const int count = std::stoi(line.substr(7));
            EXPECT_GT(count, 0) << "empty lists are not sent";
            ASSERT_LT(i + count + 1, lines.size());
            EXPECT_EQ(lines[i + count + 1].rfind("replacing ", 0), 0u) << i;
            i += count + 1;
            continue;
        }
        EXPECT_EQ(line.rfind("replacing ", 0), 0u) << line;
        EXPECT_LE(std::stoi(line.substr(10)), 256);
    }
}

TEST_F(RenderHost, EventsLandOnTheirExactFrames) {
    const auto result = render("-r 44100 -b 100 --format float --tail 0 -o " +
                               quoted(file("out.wav")) + " " + quoted(midi(fourNotes())));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const auto wav = readWav(file("out.wav"));
    ASSERT_EQ(wav.channels.size(), 2u);
    // Ticks 0, 100, 1000, 1440: 0; 4593.75; 44100 + 40 ticks at 1 s per beat; 44100 + 1 s.
    const std::vector<std::size_t> expected = {0, 4594, 47775, 88200};
    EXPECT_EQ(nonZeroFrames(wav.channels[0]), expected);
    EXPECT_EQ(wav.channels[0][0], 127 / 127.0f);
    EXPECT_EQ(wav.channels[0][4594], 100 / 127.0f);
    EXPECT_EQ(wav.channels[1][47775], 64 / 127.0f);
    EXPECT_EQ(wav.channels[1][88200], 67 / 127.0f);
    // The music ends on the frame of its last event, which the file still holds.
    EXPECT_EQ(wav.channels[0].size(), 88201u);
    const auto lines = calls();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "event 0 80 67 0 size 32 flags 0"), lines.end())
        << "the hanging note is released at the end";
    for (const auto& line : lines) EXPECT_EQ(line.find("outside"), std::string::npos) << line;
}

TEST_F(RenderHost, ListsLongerThanTheCapAreSplitWithoutMovingEvents) {
    auto builder = SmfBuilder(0, 1, 480).beginTrack();
    // Five notes on tick 2 (frame 92 at 44.1 kHz: 91.875); three notes and a controller on
    // tick 3 (frame 138).
    builder.delta(2).bytes({0x90, 40, 10});
    for (int note = 41; note < 45; ++note) builder.delta(0).bytes({0x90, note, 10});
    builder.delta(1).bytes({0x90, 50, 10});
    for (int note = 51; note < 53; ++note) builder.delta(0).bytes({0x90, note, 10});
    builder.delta(0).bytes({0xB0, 123, 0});
    const auto result =
        render("-b 512 --max-events 2 --format float --tail 0 -o " + quoted(file("out.wav")) + " " +
               quoted(midi(builder.endTrack().build())));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const auto wav = readWav(file("out.wav"));
    ASSERT_EQ(wav.channels.size(), 2u);
    // Two per list: the five of frame 92 arrive two, two and one on frames 92, 93 and 94;
    // the one left of frame 94 does not hold back the group of frame 138, which arrives two
    // and two on frames 138 and 139.
    const std::vector<std::size_t> expected = {92, 93, 94, 138, 139};
    EXPECT_EQ(nonZeroFrames(wav.channels[0]), expected);
    EXPECT_EQ(wav.channels[0][92], 20 / 127.0f);
    EXPECT_EQ(wav.channels[0][94], 10 / 127.0f);
    EXPECT_EQ(wav.channels[0][138], 20 / 127.0f);
    EXPECT_EQ(wav.channels[0][139], 10 / 127.0f);
}

TEST_F(RenderHost, WithoutReplacingTheHostZeroesBuffersAndAccumulates) {
    const auto result = render("-b 64 --format float --tail 0.01 -o " + quoted(file("out.wav")) +
                                   " " + quoted(midi(fourNotes())),
                               "accumulate");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const auto wav = readWav(file("out.wav"));
    ASSERT_EQ(wav.channels.size(), 2u);
    EXPECT_EQ(nonZeroFrames(wav.channels[0]), (std::vector<std::size_t>{0, 4594, 47775, 88200}));
    const auto lines = calls();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "process 64"), lines.end());
    for (const auto& line : lines) EXPECT_NE(line.rfind("replacing", 0), 0u);
}

TEST_F(RenderHost, EffectsGetSilentInputEveryBlock) {
    const auto result =
        render("-b 32 --tail 0.01 -o " + quoted(file("out.wav")) + " " + quoted(midi(fourNotes())),
               "effect");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    int blocks = 0;
    for (const auto& line : calls()) {
        EXPECT_NE(line, "input not silent");
        if (line.rfind("replacing", 0) == 0) ++blocks;
    }
    EXPECT_GT(blocks, 2000);
}

TEST_F(RenderHost, InfoShowsIdentityParametersProgramsAndCanDo) {
    const auto result = render("--info");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::string& out = result.output;
    for (const char* expected :
         {"Name:        Recorder\n", "Vendor:      Corvalen tests\n",
          "Product:     Recording fixture\n", "Unique ID:   'Reco' (1382376303)\n",
          "Category:    synth (2), instrument\n", "entry point VSTPluginMain",
          "    1  name \"  Tone Colour \"  label \"dB\"  value \"0.500\"\n", "    2  \"Third\"\n",
          "  receiveVstMidiEvent  yes\n", "  receiveVstEvents     no\n"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\nin:\n" << out;
    }
}

TEST_F(RenderHost, OverlongTextsAreCutAtTheBufferEnd) {
    const auto result = render("--info", "overlong");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("Name:        " + std::string(256, 'N') + "\n"), std::string::npos)
        << result.output;
}

TEST_F(RenderHost, SummaryReportsLevelsAndClipping) {
    // Two full-velocity notes on one frame sum to 2.0 on output 0 and 2 × 60/127 on output 1.
    const auto bytes = SmfBuilder(0, 1, 480)
                           .beginTrack()
                           .delta(0)
                           .bytes({0x90, 60, 127})
                           .delta(0)
                           .bytes({0x91, 60, 127})
                           .delta(480)
                           .bytes({0x80, 60, 0})
                           .endTrack()
                           .build();
    const auto result =
        render("--tail 0 -o " + quoted(file("out.wav")) + " " + quoted(midi(bytes)));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    // 22050 frames and the one of the last note off; peak 2.0 = 6.02 dBFS; the RMS is over
    // 2 × 22051 samples, all zero but 2 and 2 × 60/127.
    const double second = 2.0 * static_cast<double>(60 / 127.0f);
    const double rms = std::sqrt((4.0 + second * second) / (2 * 22051.0));
    char expected[128];
    std::snprintf(expected, sizeof expected,
                  "out.wav: 0.500 s, peak 6.02 dBFS, RMS %.2f dBFS, no NaN or infinite samples, "
                  "1 clipped samples\n",
                  20 * std::log10(rms));
    EXPECT_NE(result.output.find(expected), std::string::npos) << result.output;
}

TEST_F(RenderHost, QuietPrintsNothing) {
    const auto result =
        render("-q --tail 0 -o " + quoted(file("out.wav")) + " " + quoted(midi(fourNotes())));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "");
}

TEST_F(RenderHost, UnknownParameterOrProgramIsBadUsage) {
    EXPECT_EQ(render("--param Volume=0.5 -o " + quoted(file("o.wav"))).exitCode, 2);
    EXPECT_EQ(render("--param 2=0.5 -o " + quoted(file("o.wav"))).exitCode, 2);
    EXPECT_EQ(render("--program 3 -o " + quoted(file("o.wav"))).exitCode, 2);
}

TEST_F(RenderHost, ExitCodesTellFailuresApart) {
    const std::string exe = quoted(RENDER_EXE) + " ";
    const std::string out = " -o " + quoted(file("o.wav"));
    EXPECT_EQ(runCommand(exe + "--help").exitCode, 0);
    EXPECT_EQ(runCommand(exe + "--bogus").exitCode, 2);
    EXPECT_EQ(runCommand(exe + "-p /nonexistent/plugin.so" + out).exitCode, 3);
    const std::string notALibrary = midi(fourNotes());
    EXPECT_EQ(runCommand(exe + "-p " + quoted(notALibrary) + out).exitCode, 3);
    EXPECT_EQ(runCommand(exe + "-p " + quoted(NO_ENTRY_LIBRARY) + out).exitCode, 4);
    EXPECT_EQ(render(out, "null").exitCode, 5);
    render_test::writeFile(file("bad.mid"), {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1});
    EXPECT_EQ(render(out + " " + quoted(file("bad.mid"))).exitCode, 6);
    EXPECT_EQ(render(out + " " + quoted(file("missing.mid"))).exitCode, 6);
    EXPECT_EQ(render("-o /nonexistent/folder/o.wav").exitCode, 7);
    const auto result = render("-o /nonexistent/folder/o.wav");
    EXPECT_NE(result.output.find("cannot write /nonexistent/folder/o.wav"), std::string::npos)
        << result.output;
}

}  // namespace
