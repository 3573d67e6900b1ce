// corvalen-render as a host, driven end to end against the recording fixture plug-in: the
// calls it makes, the events it delivers, what it does with buffers, and its exit codes.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "tests/tools/test_support.h"

namespace {

using corvalen::test::quoted;
using corvalen::test::readLines;
using corvalen::test::readWav;
using corvalen::test::runCommand;
using corvalen::test::SmfBuilder;
using corvalen::test::TempFolder;

void fs_create(const std::string& folder) {
    std::filesystem::create_directory(folder);
}

class RenderHost : public ::testing::Test {
protected:
    // Runs the tool with the fixture; the fixture's log goes to log().
    corvalen::test::CommandResult render(const std::string& arguments,
                                         const std::string& mode = "") {
        return runCommand("CORVALEN_FIXTURE_LOG=" + quoted(log()) +
                          " CORVALEN_FIXTURE_MODE=" + quoted(mode) + " " + quoted(RENDER_EXE) +
                          " --plugin " + quoted(RECORDER_PLUGIN) + " " + arguments);
    }
    std::string log() const { return folder_.file("calls.log"); }
    std::string file(const std::string& name) const { return folder_.file(name); }
    std::string midi(const std::vector<std::uint8_t>& bytes) {
        const std::string path = file("input.mid");
        corvalen::test::writeFile(path, bytes);
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
    corvalen::test::writeFile(file("bad.mid"), {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1});
    EXPECT_EQ(render(out + " " + quoted(file("bad.mid"))).exitCode, 6);
    EXPECT_EQ(render(out + " " + quoted(file("missing.mid"))).exitCode, 6);
    EXPECT_EQ(render("-o /nonexistent/folder/o.wav").exitCode, 7);
    const auto result = render("-o /nonexistent/folder/o.wav");
    EXPECT_NE(result.output.find("cannot write /nonexistent/folder/o.wav"), std::string::npos)
        << result.output;
}

// Forty notes at ticks 0 to 39 (frames 0 to about 1792): with blocks of 2048 frames, all of
// them in the first block's list, each on its own frame.
TEST_F(RenderHost, ByDefaultABlocksEventsGoInOneListOnTheirFrames) {
    auto builder = SmfBuilder(0, 1, 480).beginTrack();
    for (int i = 0; i < 40; ++i) builder.delta(i == 0 ? 0 : 1).bytes({0x90, 20 + i, 100});
    builder.delta(960).bytes({0x80, 20, 0});
    const auto result = render("-b 2048 --format float --tail 0 -o " + quoted(file("out.wav")) +
                               " " + quoted(midi(builder.endTrack().build())));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const auto lines = calls();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "events 40"), lines.end());
    const auto wav = readWav(file("out.wav"));
    ASSERT_EQ(wav.channels.size(), 2u);
    const auto frames = nonZeroFrames(wav.channels[0]);
    ASSERT_EQ(frames.size(), 40u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(frames[i], static_cast<std::size_t>(std::floor(i * 45.9375 + 0.5))) << i;
    }
}

// Track 1: note 60 on channel 1; track 2: note 62 on channel 10 and note 64 on channel 2.
std::vector<std::uint8_t> threeVoices() {
    return SmfBuilder(1, 2, 480)
        .beginTrack()
        .delta(0)
        .bytes({0xFF, 0x03, 4, 'L', 'e', 'a', 'd'})
        .delta(0)
        .bytes({0x90, 60, 100})
        .delta(480)
        .bytes({0x80, 60, 0})
        .endTrack()
        .beginTrack()
        .delta(0)
        .tempo(400000)
        .delta(10)
        .bytes({0x99, 62, 100})
        .delta(1)
        .bytes({0x91, 64, 100})
        .endTrack()
        .build();
}

TEST_F(RenderHost, ChannelsAndTracksChooseWhatPlaysAndMidiInfoTellsWhatThereIs) {
    const std::string song = midi(threeVoices());
    auto notesOf = [&](const std::string& selection) {
        const auto result = render("--format float --tail 0 -o " + quoted(file("o.wav")) + " " +
                                   selection + " " + quoted(song));
        EXPECT_EQ(result.exitCode, 0) << result.output;
        std::vector<int> notes;
        const auto wav = readWav(file("o.wav"));
        for (std::size_t frame : nonZeroFrames(wav.channels.at(1)))
            notes.push_back(static_cast<int>(std::lround(wav.channels[1][frame] * 127)));
        return notes;
    };
    EXPECT_EQ(notesOf(""), (std::vector<int>{60, 62, 64}));
    EXPECT_EQ(notesOf("--channel 10,2"), (std::vector<int>{62, 64}));
    EXPECT_EQ(notesOf("--track 1"), (std::vector<int>{60}));
    EXPECT_EQ(notesOf("--track 2 --channel 10"), (std::vector<int>{62}));
    const auto missing = render("-o " + quoted(file("o.wav")) + " --track 3 " + quoted(song));
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.output.find("there is no track 3 (the file has 2)"), std::string::npos)
        << missing.output;

    const auto info = runCommand(quoted(RENDER_EXE) + " --midi-info " + quoted(song));
    ASSERT_EQ(info.exitCode, 0) << info.output;
    for (const char* expected :
         {"format 1, 480 ticks per quarter, length 0:00.400 (480 ticks)\n",
          "Tempo changes: 1: 150.00 bpm at 0:00.000\n", "Tracks: 2\n",
          "  track 1: \"Lead\", 1 notes, 2 messages, channels 1, C4 to C4\n",
          "  track 2: 2 notes, 2 messages, channels 2,10, D4 to E4\n",
          "  channel 10: 1 notes, 1 messages, D4 to D4 (drums in General MIDI)\n"}) {
        EXPECT_NE(info.output.find(expected), std::string::npos) << expected << info.output;
    }
}

// Two notes of velocity 127 and 100 on one frame: 1.787 on output 0 (+5.04 dBFS).
TEST_F(RenderHost, GainNormalizingClippingAndSilenceAreHandledAndExplained) {
    const auto bytes = SmfBuilder(0, 1, 480)
                           .beginTrack()
                           .delta(0)
                           .bytes({0x90, 60, 127})
                           .delta(0)
                           .bytes({0x90, 61, 100})
                           .delta(480)
                           .bytes({0x80, 60, 0})
                           .endTrack()
                           .build();
    const std::string song = midi(bytes);
    const float loud = 1.0f + 100 / 127.0f;
    auto peakOf = [&](const std::string& options) {
        const auto result =
            render("--tail 0 -o " + quoted(file("o.wav")) + " " + options + " " + quoted(song));
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return std::make_pair(readWav(file("o.wav")).channels.at(0).at(0), result.output);
    };
    auto [peak, output] = peakOf("--format float --gain -6");
    EXPECT_FLOAT_EQ(peak, loud * static_cast<float>(std::pow(10.0, -6 / 20.0)));
    std::tie(peak, output) = peakOf("--format float --normalize -3");
    EXPECT_FLOAT_EQ(peak, static_cast<float>(std::pow(10.0, -3 / 20.0)));
    EXPECT_NE(output.find("peak -3.00 dBFS"), std::string::npos) << output;
    // 16-bit: normalised to -1 dBFS, the written sample is within one step of it.
    std::tie(peak, output) = peakOf("--format 16 --normalize");
    EXPECT_NEAR(peak, std::pow(10.0, -1 / 20.0), 1.0 / 32768);
    std::tie(peak, output) = peakOf("--format 24");
    EXPECT_NE(output.find("1 samples beyond full scale were clipped (peak +5.04 dBFS): keep them "
                          "with --format float, lower the level with --gain -5.2, or use "
                          "--normalize"),
              std::string::npos)
        << output;

    const std::string silence = "the output is silent (never above -120 dBFS): ";
    std::tie(peak, output) = peakOf("--channel 5");
    EXPECT_NE(output.find(silence + "there are no notes on the chosen channels"), std::string::npos)
        << output;
    const auto effect =
        render("--tail 0 -o " + quoted(file("o.wav")) + " " + quoted(song), "passthrough");
    EXPECT_EQ(effect.exitCode, 0);
    EXPECT_NE(effect.output.find(silence + "the plug-in is an effect (2 inputs) and had no input: "
                                           "feed it audio with --input FILE"),
              std::string::npos)
        << effect.output;

    // The effect fed a 22050 Hz file: 0.5 s of a constant 0.25 becomes 1 s at 44100 Hz (plus
    // the tail, here none), level kept by the resampler away from the edges.
    SF_INFO info = {};
    info.samplerate = 22050;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* in = sf_open(file("in.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(in, nullptr);
    const std::vector<float> constant(11025, 0.25f);
    sf_writef_float(in, constant.data(), 11025);
    sf_close(in);
    const auto fed = render("--tail 0 --format float --input " + quoted(file("in.wav")) + " -o " +
                                quoted(file("o.wav")),
                            "passthrough");
    ASSERT_EQ(fed.exitCode, 0) << fed.output;
    const auto wav = readWav(file("o.wav"));
    ASSERT_EQ(wav.channels.size(), 2u);
    EXPECT_GE(wav.channels[1].size(), 22050u);
    EXPECT_NEAR(wav.channels[1][11025], 0.25f, 1e-3);  // right input fed from the mono file
    EXPECT_EQ(fed.output.find("silent"), std::string::npos) << fed.output;
}

TEST_F(RenderHost, PluginsAreFoundByNameInBundlesAndListed) {
    namespace fs = std::filesystem;
    const std::string vst = file("vst");
    fs::create_directories(vst + "/Suite");
    fs::create_directories(vst + "/Bundle.vst");
    fs::copy_file(RECORDER_PLUGIN, vst + "/Rec-vst.so");
    fs::copy_file(RECORDER_PLUGIN, vst + "/Suite/Deep.so");
    fs::copy_file(RECORDER_PLUGIN, vst + "/Bundle.vst/Bundle.so");
    fs::copy_file(NO_ENTRY_LIBRARY, vst + "/NotAPlugin.so");
    const std::string environment = "HOME=" + quoted(file("home")) + " VST_PATH=" + quoted(vst) +
                                    " LXVST_PATH= CORVALEN_FIXTURE_LOG=" + quoted(log()) + " ";
    const std::string exe = environment + quoted(RENDER_EXE) + " ";
    for (const std::string& name :
         {std::string("Rec-vst.so"), std::string("Rec"), std::string("Deep"),
          std::string("Bundle.vst"), vst + "/Bundle.vst"}) {
        const auto result = runCommand(exe + "--info -p " + quoted(name));
        EXPECT_EQ(result.exitCode, 0) << name << ": " << result.output;
        EXPECT_NE(result.output.find("Name:        Recorder"), std::string::npos) << result.output;
    }
    const auto missing = runCommand(exe + "--info -p Nowhere");
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_NE(missing.output.find("no plug-in Nowhere (looked in " + vst), std::string::npos)
        << missing.output;

    const auto list = runCommand(exe + "--list " + quoted(vst));
    ASSERT_EQ(list.exitCode, 0) << list.output;
    EXPECT_NE(list.output.find(vst + "/Bundle.vst/Bundle.so  |Recorder|Corvalen tests|"
                                     "instrument|0 in, 2 out\n"),
              std::string::npos)
        << list.output;
    EXPECT_NE(list.output.find(vst + "/NotAPlugin.so  |cannot load: "), std::string::npos);
    EXPECT_NE(list.output.find(vst + "/Suite/Deep.so  |Recorder|"), std::string::npos);
    EXPECT_NE(list.output.find("4 plug-in libraries"), std::string::npos);
    // One that crashes while loading ends only its own child process. A sanitizer's runtime
    // would catch the fault and exit instead, so it is told to leave SIGSEGV alone.
    const auto crashing = runCommand("CORVALEN_FIXTURE_MODE=crash ASAN_OPTIONS=handle_segv=0 " +
                                     exe + "--list " + quoted(vst));
    EXPECT_EQ(crashing.exitCode, 0) << crashing.output;
    EXPECT_NE(crashing.output.find(vst + "/Rec-vst.so  |crashed while loading (signal 11, "),
              std::string::npos)
        << crashing.output;
    EXPECT_NE(crashing.output.find("4 plug-in libraries"), std::string::npos);

    // Far more outputs than stereo: every one is written.
    const auto wide =
        render("--tail 0.1 -o " + quoted(file("wide.wav")) + " " +
                   quoted(midi(SmfBuilder(0, 1, 480).beginTrack().endTrack().build())),
               "wide");
    ASSERT_EQ(wide.exitCode, 0) << wide.output;
    EXPECT_EQ(readWav(file("wide.wav")).channels.size(), 98u);
}

TEST_F(RenderHost, MessagesNameTheFileAndWhatToDo) {
    // A file cut inside its only track: played up to the cut, with a warning.
    auto cut = fourNotes();
    cut.resize(cut.size() - 6);
    const std::string truncated = midi(cut);
    auto result = render("--tail 0 -o " + quoted(file("o.wav")) + " " + quoted(truncated));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("warning: " + truncated + ": the file is cut short: track 2"),
              std::string::npos)
        << result.output;

    fs_create(file("folder.mid"));
    result = render("-o " + quoted(file("o.wav")) + " " + quoted(file("folder.mid")));
    EXPECT_EQ(result.exitCode, 6);
    EXPECT_NE(result.output.find(file("folder.mid") + " is a folder, not a MIDI file"),
              std::string::npos)
        << result.output;

    result = render("--param Volume=0.5 -o " + quoted(file("o.wav")));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.output.find("its parameters are 0 \"Gain\", 1 \"  Tone Colour \""),
              std::string::npos)
        << result.output;

    result = render("--info " + quoted(truncated));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.output.find("the MIDI files given are not read"), std::string::npos);

    result = render("--progress --tail 0 -o " + quoted(file("o.wav")) + " " + quoted(truncated));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.output.find("x real time, 0:00 left"), std::string::npos) << result.output;
}

}  // namespace
