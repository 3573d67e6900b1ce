// corvalen-render's outputs, run as a program: nothing half-written under the output's name
// (signals, full disks), inputs never overwritten, names, formats and standard streams.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/tools/test_support.h"

namespace {

using corvalen::test::quoted;
using corvalen::test::readWav;
using corvalen::test::runCommand;
using corvalen::test::SmfBuilder;
using corvalen::test::TempFolder;

std::vector<std::uint8_t> twoNotes() {
    return SmfBuilder(0, 1, 480)
        .beginTrack()
        .delta(10)
        .bytes({0x90, 60, 127})
        .delta(480)
        .bytes({0x90, 64, 64})
        .delta(480)
        .bytes({0x80, 60, 0})
        .endTrack()
        .build();
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class RenderOutput : public ::testing::Test {
protected:
    RenderOutput() { corvalen::test::writeFile(file("song.mid"), twoNotes()); }
    std::string file(const std::string& name) const { return folder_.file(name); }
    std::string folder() const { return file(""); }
    std::string tool() const {
        return quoted(RENDER_EXE) + " --plugin " + quoted(RECORDER_PLUGIN) + " ";
    }
    corvalen::test::CommandResult render(const std::string& arguments) {
        return runCommand("(cd " + quoted(folder()) + " && " + tool() + arguments + ")");
    }

    TempFolder folder_;
};

// The tool is interrupted while it writes an hour of audio over an existing file: the file
// keeps its old contents and no temporary file is left, and the tool ends by that signal.
TEST_F(RenderOutput, SignalsAndFullDisksLeaveTheTargetAsItWas) {
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        corvalen::test::writeFile(file("song.wav"), {'o', 'l', 'd'});
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            execl(RENDER_EXE, RENDER_EXE, "-q", "--plugin", RECORDER_PLUGIN, "--tail", "3600", "-o",
                  file("song.wav").c_str(), file("song.mid").c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // Wait until the temporary file exists and has grown, then interrupt.
        bool writing = false;
        for (int i = 0; i < 500 && !writing; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            for (const auto& entry : std::filesystem::directory_iterator(folder())) {
                const std::string name = entry.path().filename().string();
                if (name.rfind(".song.wav.", 0) == 0 && entry.file_size() > 100000) writing = true;
            }
        }
        EXPECT_TRUE(writing) << "no temporary file beside the target";
        kill(child, signalNumber);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
        EXPECT_EQ(WTERMSIG(status), signalNumber);
        EXPECT_EQ(readText(file("song.wav")), "old");
        EXPECT_EQ(folderNames(folder()), (std::vector<std::string>{"song.mid", "song.wav"}));
    }

    // A plug-in that crashes mid-render ends the process; the temporary file goes all the same.
    const auto crash =
        runCommand("(cd " + quoted(folder()) + " && CORVALEN_FIXTURE_MODE=crash-later " + tool() +
                   "--tail 60 -o song.wav song.mid)");
    EXPECT_EQ(crash.exitCode, 128 + SIGSEGV) << crash.output;
    EXPECT_EQ(readText(file("song.wav")), "old");
    EXPECT_EQ(folderNames(folder()), (std::vector<std::string>{"song.mid", "song.wav"}));

    // A file-size limit makes writes fail as on a full disk.
    const auto full = runCommand("ulimit -f 200 && " + tool() + "--tail 60 -o " +
                                 quoted(file("song.wav")) + " " + quoted(file("song.mid")));
    EXPECT_EQ(full.exitCode, 7) << full.output;
    EXPECT_NE(full.output.find("cannot write " + file("song.wav")), std::string::npos)
        << full.output;
    EXPECT_EQ(readText(file("song.wav")), "old");
    EXPECT_EQ(folderNames(folder()), (std::vector<std::string>{"song.mid", "song.wav"}));

    // Replacing is said; --no-clobber refuses it and leaves the file.
    const auto refused = render("-n -o song.wav song.mid");
    EXPECT_EQ(refused.exitCode, 7) << refused.output;
    EXPECT_EQ(readText(file("song.wav")), "old");
    const auto replaced = render("--tail 0 song.mid");
    ASSERT_EQ(replaced.exitCode, 0) << replaced.output;
    EXPECT_NE(replaced.output.find("warning: replacing song.wav"), std::string::npos)
        << replaced.output;
    EXPECT_EQ(readWav(file("song.wav")).channels.size(), 2u);
    EXPECT_EQ(std::filesystem::status(file("song.wav")).permissions() &
                  std::filesystem::perms::others_read,
              std::filesystem::status(file("song.mid")).permissions() &
                  std::filesystem::perms::others_read);
}

TEST_F(RenderOutput, AnOutputThatIsAnInputIsRefusedWhateverItsName) {
    const std::string original = readText(file("song.mid"));
    std::filesystem::create_hard_link(file("song.mid"), file("linked.wav"));
    std::filesystem::create_symlink(file("song.mid"), file("symlinked.wav"));
    for (const char* output : {"song.mid -t wav", "./linked.wav", "symlinked.wav"}) {
        const auto result = render(std::string("-o ") + output + " song.mid");
        EXPECT_EQ(result.exitCode, 2) << output << ": " << result.output;
        EXPECT_NE(result.output.find("is the input"), std::string::npos) << result.output;
    }
    EXPECT_EQ(render("-o " + quoted(RECORDER_PLUGIN) + " -t wav song.mid").exitCode, 2);
    EXPECT_EQ(readText(file("song.mid")), original);
}

// Outputs are named after their MIDI file, beside it, one per file; "-" reads standard input
// and writes standard output, in every format, with the same samples as a file.
TEST_F(RenderOutput, NamesFormatsAndStandardStreams) {
    std::filesystem::create_directory(file("sub"));
    corvalen::test::writeFile(file("sub/other.midi"), twoNotes());
    auto result = render("--tail 0 -t flac song.mid sub/other.midi");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const auto reference = readWav(file("song.flac"));
    ASSERT_EQ(reference.channels.size(), 2u);
    EXPECT_EQ(readWav(file("sub/other.flac")).channels, reference.channels);
    // Tick 10 at 120 bpm: frame 459.375 -> 459. Full scale is just out of reach of 24 bits.
    EXPECT_EQ(reference.channels[0][458], 0.0f);
    EXPECT_GT(reference.channels[0][459], 0.9999f);

    result = render("--tail 0 -q");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_FALSE(readWav(file("corvalen-demo.wav")).channels.empty());

    struct Case {
        const char* extension;
        int major;
    };
    for (const Case& format : {Case{"wav", SF_FORMAT_WAV}, Case{"flac", SF_FORMAT_FLAC},
                               Case{"ogg", SF_FORMAT_OGG}, Case{"aiff", SF_FORMAT_AIFF}}) {
        const std::string name = std::string("piped.") + format.extension;
        // Through pipes on both sides: the header of a WAV or AIFF must still be complete.
        result = render("--tail 0 -o - -t " + std::string(format.extension) +
                        " - < song.mid | cat > " + name);
        ASSERT_EQ(result.exitCode, 0) << result.output;
        EXPECT_NE(result.output.find("standard output: 1.010 s"), std::string::npos)
            << result.output;
        SF_INFO info = {};
        SNDFILE* sound = sf_open(file(name).c_str(), SFM_READ, &info);
        ASSERT_NE(sound, nullptr) << name;
        sf_close(sound);
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, format.major) << name;
        const auto piped = readWav(file(name));
        ASSERT_EQ(piped.channels.size(), 2u);
        EXPECT_EQ(piped.channels[0].size(), reference.channels[0].size()) << name;
        if (format.major != SF_FORMAT_OGG) {
            EXPECT_EQ(piped.channels, reference.channels) << name;
        }
    }

    for (const char* bad : {"-o song.mp3", "-o song.flac --format float", "-o song.ogg --format 16",
                            "- < song.mid"}) {
        result = render(std::string(bad) + " song.mid");
        EXPECT_EQ(result.exitCode, 2) << bad << ": " << result.output;
    }
    EXPECT_NE(render("-o song.mp3 song.mid").output.find("known are .wav, .flac, .ogg"),
              std::string::npos);
}

}  // namespace
