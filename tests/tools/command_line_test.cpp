#include "tools/render/command_line.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "tests/tools/test_support.h"

namespace {

using corvalen::render::Options;
using corvalen::render::parseCommandLine;
using corvalen::render::UsageError;

TEST(CommandLine, DefaultsRenderTheDemoPhraseThroughTheBuiltPlugin) {
    const Options options = parseCommandLine({});
    EXPECT_EQ(options.mode, corvalen::render::Mode::kRender);
    EXPECT_TRUE(options.pluginPath.empty());
    EXPECT_TRUE(options.midiPaths.empty());
    EXPECT_TRUE(options.outputPath.empty());
    EXPECT_EQ(options.sampleRate, 44100);
    EXPECT_EQ(options.blockSize, 512);
    EXPECT_EQ(options.maxEventsPerList, 0);
    EXPECT_LT(options.tailSeconds, 0.0);
    EXPECT_FALSE(options.program.has_value());
}

TEST(CommandLine, OptionsTakeSeparateOrAttachedValues) {
    const Options options =
        parseCommandLine({"-p", "x.so", "--output=o.wav", "-r", "48000", "--block=64", "--format",
                          "float", "--tail", "1.5", "--program=3", "--param", " Bow Pos=0.25",
                          "--param=2=1", "--max-events", "8", "-q", "song.mid"});
    EXPECT_EQ(options.pluginPath, "x.so");
    EXPECT_EQ(options.outputPath, "o.wav");
    EXPECT_EQ(options.sampleRate, 48000);
    EXPECT_EQ(options.blockSize, 64);
    EXPECT_EQ(options.format, corvalen::render::SampleFormat::kFloat32);
    EXPECT_EQ(options.tailSeconds, 1.5);
    EXPECT_EQ(options.program, 3);
    ASSERT_EQ(options.parameters.size(), 2u);
    EXPECT_EQ(options.parameters[0].nameOrIndex, " Bow Pos");
    EXPECT_EQ(options.parameters[0].value, 0.25f);
    EXPECT_EQ(options.parameters[1].nameOrIndex, "2");
    EXPECT_EQ(options.parameters[1].value, 1.0f);
    EXPECT_EQ(options.maxEventsPerList, 8);
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(options.midiPaths, std::vector<std::string>{"song.mid"});
}

TEST(CommandLine, ListsNormalizeLevelAndSeveralFiles) {
    Options options = parseCommandLine(
        {"--channel", "1,10", "--track=3-5,2,4", "--normalize", "a.mid", "-", "b.mid", "--gain=0"});
    EXPECT_EQ(options.channels, (std::vector<int>{1, 10}));
    EXPECT_EQ(options.tracks, (std::vector<int>{3, 4, 5, 2}));
    EXPECT_EQ(options.normalizeDbfs, -1.0);
    EXPECT_EQ(options.midiPaths, (std::vector<std::string>{"a.mid", "-", "b.mid"}));
    options = parseCommandLine({"--normalize", "-3.5", "x.mid", "-t", "FLAC", "--format", "16"});
    EXPECT_EQ(options.normalizeDbfs, -3.5);
    EXPECT_EQ(options.midiPaths, std::vector<std::string>{"x.mid"});
    EXPECT_EQ(options.type, corvalen::render::Container::kFlac);
    EXPECT_EQ(options.format, corvalen::render::SampleFormat::kPcm16);
}

TEST(CommandLine, BadUsageIsRefusedWithAMessage) {
    const std::vector<std::vector<std::string>> bad = {
        {"--frobnicate"},
        {"-x"},
        {"--output"},
        {"--output", ""},
        {"--rate", "0"},
        {"--rate", "7999"},
        {"--rate", "384001"},
        {"--rate", "44100Hz"},
        {"--rate", ""},
        {"--block", "0"},
        {"--block", "65537"},
        {"--block", "-1"},
        {"--block", "99999999999999999999"},
        {"--param", "Level"},
        {"--param", "=0.5"},
        {"--param", "Level=nan"},
        {"--param", "Level=1.01"},
        {"--param", "Level=-0.1"},
        {"--param", "Level="},
        {"--format", "8"},
        {"--tail", "-1"},
        {"--tail", "nan"},
        {"--tail", "inf"},
        {"--program", "-1"},
        {"--max-events", "-1"},
        {"--help=yes"},
        {"a.mid", "b.mid", "-o", "x.wav"},
        {"-", "-"},
        {"--channel", "0"},
        {"--channel", "17"},
        {"--channel", "1,,2"},
        {"--channel", "5-3"},
        {"--track", "0"},
        {"--gain", "61"},
        {"--normalize=1"},
        {"--gain", "-6", "--normalize"},
        {"--type", "mp3"},
        {"--render-rate", "100"},
    };
    for (const auto& arguments : bad) {
        std::string joined;
        for (const auto& a : arguments) joined += a + " ";
        EXPECT_THROW(parseCommandLine(arguments), UsageError) << joined;
    }
}

TEST(CommandLine, ModesAreRefusedTogetherButHelpWinsOverAll) {
    using corvalen::render::Mode;
    EXPECT_EQ(parseCommandLine({"--validate", "x.so"}).mode, Mode::kValidate);
    EXPECT_EQ(parseCommandLine({"--list-checks"}).mode, Mode::kListChecks);
    EXPECT_EQ(parseCommandLine({"--info", "--info"}).mode, Mode::kInfo);
    EXPECT_EQ(parseCommandLine({"--list", "--help", "--info"}).mode, Mode::kHelp);
    for (const auto& twoModes : std::vector<std::vector<std::string>>{
             {"--info", "--list"}, {"--validate", "--midi-info"}, {"--version", "--list-checks"}}) {
        EXPECT_THROW(parseCommandLine(twoModes), UsageError) << twoModes[0] << " " << twoModes[1];
    }
    // Options of one mode are refused in another.
    EXPECT_THROW(parseCommandLine({"--check", "load"}), UsageError);
    EXPECT_THROW(parseCommandLine({"--info", "--report", "json"}), UsageError);
    EXPECT_EQ(parseCommandLine({"--validate", "--report=json"}).report, "json");
}

TEST(CommandLine, AliasesAndTheOptionalValueAreParsedFromTheTable) {
    const Options options = parseCommandLine({"--channels=2-3", "--tracks", "1", "--normalise"});
    EXPECT_EQ(options.channels, (std::vector<int>{2, 3}));
    EXPECT_EQ(options.tracks, std::vector<int>{1});
    EXPECT_EQ(options.normalizeDbfs, -1.0);
}

// The help and the man page list every option of the table, and nothing else.
TEST(CommandLine, HelpAndManPageListExactlyTheOptionsOfTheTable) {
    const std::vector<std::string> names = corvalen::render::optionNames();
    const std::set<std::string> table(names.begin(), names.end());
    ASSERT_EQ(table.size(), names.size()) << "a name is declared twice";

    EXPECT_EQ(corvalen::test::optionsInHelp(corvalen::render::usageText()), table);
    EXPECT_EQ(corvalen::test::optionsInManPage(MAN_PAGE), table);
}

TEST(CommandLine, ParameterNamesCompareWithoutBlanksAndCase) {
    EXPECT_EQ(corvalen::render::normalizedName(" Level "), "level");
    EXPECT_EQ(corvalen::render::normalizedName("\tBow Pres  "), "bow pres");
    EXPECT_EQ(corvalen::render::normalizedName("   "), "");
}

TEST(CommandLine, HelpListsEveryExitCode) {
    const std::string help = corvalen::render::usageText();
    for (int code = 0; code <= 7; ++code) {
        EXPECT_NE(help.find("\n  " + std::to_string(code) + "  "), std::string::npos) << code;
    }
}

}  // namespace
