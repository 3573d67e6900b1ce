// corvalen-play's command line: the contract's option names, refusals, and the help and man
// page held to the option table.
#include "tools/play/play_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/test_support.h"

namespace {

using corvalen::play::Options;
using corvalen::play::parseCommandLine;
using corvalen::play::UsageError;

TEST(PlayOptions, TheContractsOptionsParse) {
    const Options options = parseCommandLine({"Kars",           "-n",         "live",
                                              "--connect-out",  "a:1,b:2",    "--connect-out=c:3",
                                              "--connect-midi", "m:1",        "--plugin-rate",
                                              "48000",          "--cc",       "1=Bow Pres",
                                              "--cc=74=3",      "--channels", "2-3",
                                              "--program",      "5",          "--param",
                                              "level=0.5",      "--record",   "take.flac",
                                              "--format",       "16",         "-q"});
    EXPECT_EQ(options.pluginPath, "Kars");
    EXPECT_EQ(options.clientName, "live");
    EXPECT_EQ(options.connectOut, (std::vector<std::string>{"a:1", "b:2", "c:3"}));
    EXPECT_EQ(options.connectMidi, std::vector<std::string>{"m:1"});
    EXPECT_EQ(options.pluginRate, 48000);
    ASSERT_EQ(options.controllers.size(), 2u);
    EXPECT_EQ(options.controllers[0].controller, 1);
    EXPECT_EQ(options.controllers[0].parameter, "Bow Pres");
    EXPECT_EQ(options.controllers[1].controller, 74);
    EXPECT_EQ(options.controllers[1].parameter, "3");
    EXPECT_EQ(options.channels, (std::vector<int>{2, 3}));
    EXPECT_EQ(options.program, 5);
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(parseCommandLine({}).clientName, "corvalen-play");
}

TEST(PlayOptions, BadUsageIsRefusedWithAMessage) {
    const std::vector<std::vector<std::string>> bad = {{"--bogus"},
                                                       {"--cc", "128=1"},
                                                       {"--cc", "1"},
                                                       {"--cc", "1="},
                                                       {"--plugin-rate", "100"},
                                                       {"--channel", "17"},
                                                       {"-n", "a:b"},
                                                       {"--record", "-"},
                                                       {"--format", "16"},
                                                       {"--no-connect", "--connect-out", "x:y"},
                                                       {"a.so", "b.so"},
                                                       {"-p", "a.so", "b.so"},
                                                       {"--quiet=1"},
                                                       {"--name"}};
    for (const auto& arguments : bad) {
        EXPECT_THROW(parseCommandLine(arguments), UsageError) << arguments[0];
    }
}

TEST(PlayOptions, HelpAndManPageListExactlyTheOptionsOfTheTable) {
    const std::vector<std::string> names = corvalen::play::optionNames();
    const std::set<std::string> table(names.begin(), names.end());
    ASSERT_EQ(table.size(), names.size()) << "a name is declared twice";
    EXPECT_EQ(corvalen::test::optionsInHelp(corvalen::play::usageText()), table);
    EXPECT_EQ(corvalen::test::optionsInManPage(PLAY_MAN_PAGE), table);
}

}  // namespace
