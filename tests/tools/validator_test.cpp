// corvalen-render --validate run as a program: against the faulty fixture instrument (every
// check passes on the sound fixture and fails on its own fault), and on its command line.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "tests/tools/test_support.h"

namespace {

using render_test::quoted;
using render_test::runCommand;

render_test::CommandResult validate(const std::string& fault, const std::string& arguments) {
    // stderr is dropped: it holds the plug-in's own chatter, not the report.
    return runCommand("(CORVALEN_FAULT=" + quoted(fault) + " " + quoted(RENDER_EXE) +
                      " --validate " + arguments + " 2>/dev/null)");
}

bool hasLine(const std::string& output, const std::string& start) {
    return output.find("\n" + start) != std::string::npos || output.rfind(start, 0) == 0;
}

TEST(Validator, TheSoundFixturePassesEveryCheck) {
    const auto result = validate("", quoted(FAULTY_PLUGIN));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find(" 0 failed, "), std::string::npos) << result.output;
    for (const char* check : {"load",
                              "record",
                              "identity",
                              "instances",
                              "minimal-host",
                              "setup-order",
                              "block-sizes@44100",
                              "block-sizes@48000",
                              "block-sizes@96000",
                              "sample-accuracy",
                              "edge-events",
                              "event-flood",
                              "parameter-fuzz",
                              "programs",
                              "program-name-overflow",
                              "parameter-texts",
                              "host-oddities",
                              "process-replacing",
                              "process-accumulating",
                              "tail"}) {
        EXPECT_TRUE(hasLine(result.output, std::string("PASS ") + check + ": ")) << check << "\n"
                                                                                 << result.output;
    }
    EXPECT_TRUE(hasLine(result.output, "PASS no-allocation: ") ||
                hasLine(result.output, "SKIP no-allocation: cannot see the plug-in's allocations"))
        << result.output;
}

TEST(Validator, ReportIsOneVerdictPerLineThenTheTally) {
    const auto result =
        validate("block-start", "--check record --check sample-accuracy " + quoted(FAULTY_PLUGIN));
    EXPECT_EQ(result.exitCode, 1) << result.output;
    std::istringstream lines(result.output);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line)) all.push_back(line);
    ASSERT_EQ(all.size(), 4u) << result.output;
    EXPECT_EQ(all[0], std::string("validating ") + FAULTY_PLUGIN);
    EXPECT_EQ(all[1].rfind("PASS record: instrument, id 'Flty', 0 inputs, 2 outputs", 0), 0u);
    EXPECT_EQ(all[2].rfind("FAIL sample-accuracy: ", 0), 0u) << all[2];
    EXPECT_EQ(all[3], "1 passed, 1 failed, 0 skipped");
}

TEST(Validator, ExpectedFailuresAreReportedButDoNotFailTheRun) {
    const auto result =
        validate("subnormal-tail", "--check tail --expect-fail tail " + quoted(FAULTY_PLUGIN));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(hasLine(result.output, "XFAIL tail: ")) << result.output;
    EXPECT_NE(result.output.find("(expected: known fault)"), std::string::npos);
    EXPECT_NE(result.output.find("0 passed, 0 failed, 0 skipped, 1 expected to fail"),
              std::string::npos);

    const auto fixed = validate("", "--check tail --expect-fail tail " + quoted(FAULTY_PLUGIN));
    EXPECT_EQ(fixed.exitCode, 0) << fixed.output;
    EXPECT_NE(fixed.output.find("(expected to fail, but passes now)"), std::string::npos);
}

struct FaultCase {
    const char* fault;
    const char* check;     // the check to run
    const char* verdict;   // the start of a line that must appear
    const char* contains;  // and a text that the output must hold
};

class FaultIsCaught : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultIsCaught, ByItsCheck) {
    const FaultCase& fault = GetParam();
    const auto result =
        validate(fault.fault, std::string("--check ") + fault.check + " " + quoted(FAULTY_PLUGIN));
    if (std::string(fault.check) == "no-allocation" &&
        hasLine(result.output, "SKIP no-allocation: cannot see")) {
        GTEST_SKIP() << "this build cannot count allocations: " << result.output;
    }
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_TRUE(hasLine(result.output, fault.verdict)) << result.output;
    EXPECT_NE(result.output.find(fault.contains), std::string::npos) << result.output;
}

INSTANTIATE_TEST_SUITE_P(
    FaultyFixture, FaultIsCaught,
    ::testing::Values(
        FaultCase{"slow-load", "load", "FAIL load: ", "VSTPluginMain and effOpen took "},
        FaultCase{"long-names", "identity",
                  "FAIL identity: ", "name (32-byte buffer): wrote 8 bytes past the buffer"},
        FaultCase{"shared-state", "instances",
                  "FAIL instances: ", "setting parameter 0 on one instance changed the other's"},
        FaultCase{"needs-host-rate", "minimal-host",
                  "FAIL minimal-host: ", "with a host answering 0 to all but the version: "},
        FaultCase{"resume-shifts", "setup-order",
                  "FAIL setup-order: ", "a second resume changes the output"},
        FaultCase{"block-start", "block-sizes",
                  "FAIL block-sizes@44100: ", "block 1 differs from block 512 from frame 0"},
        FaultCase{"subnormal-tail", "block-sizes", "FAIL block-sizes@96000: ", "subnormal samples"},
        FaultCase{"block-start", "sample-accuracy",
                  "FAIL sample-accuracy: ", "note at offset 1 starts at frame 640, expected 641"},
        FaultCase{"zero-velocity", "edge-events",
                  "FAIL edge-events: ", "a note-on with velocity 0 does not act as a note-off"},
        FaultCase{"drops-events", "event-flood", "FAIL event-flood: ", "hung note: still"},
        FaultCase{"crash-on-flood", "event-flood", "FAIL event-flood: ", "crash"},
        FaultCase{"nan-parameters", "parameter-fuzz",
                  "FAIL parameter-fuzz: ", "after restoring the parameters: "},
        FaultCase{"long-names", "programs", "FAIL program-name-overflow: ",
                  "effGetProgramName wrote 77 bytes past a 24-byte buffer"},
        FaultCase{"partial-write", "process-calls",
                  "FAIL process-replacing: ", "from frame 511 (the garbage is not overwritten)"},
        FaultCase{"process-replaces", "process-calls",
                  "FAIL process-accumulating: ", "process does not add to the buffers"},
        FaultCase{"allocate", "no-allocation",
                  "FAIL no-allocation: ", "122 allocations and 122 frees"},
        FaultCase{"subnormal-tail", "tail", "FAIL tail: ", "subnormal samples"},
        FaultCase{"zero-frames", "host-oddities",
                  "FAIL host-oddities: ", "a zero-frame processing call wrote into the buffers"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) {
        std::string name = std::string(info.param.fault) + "_" + info.param.check;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name + "_" + std::to_string(info.index);
    });

TEST(ValidatorCommandLine, RefusesUnknownChecksAndMisplacedOptions) {
    const auto unknown = validate("", "--check juggling " + quoted(FAULTY_PLUGIN));
    EXPECT_EQ(unknown.exitCode, 2);
    const auto withoutValidate =
        runCommand(quoted(RENDER_EXE) + " --check load -p " + quoted(FAULTY_PLUGIN) + " 2>&1");
    EXPECT_EQ(withoutValidate.exitCode, 2) << withoutValidate.output;
    const auto twoPlugins = runCommand(quoted(RENDER_EXE) + " --validate -p " +
                                       quoted(FAULTY_PLUGIN) + " other.so 2>&1");
    EXPECT_EQ(twoPlugins.exitCode, 2) << twoPlugins.output;
    const auto missing = validate("", "/nonexistent/plugin.so");
    EXPECT_EQ(missing.exitCode, 3) << missing.output;
}

TEST(ValidatorCommandLine, ALibraryWithoutEntryPointFailsEveryCheck) {
    const auto result = validate("", "--check load --check tail " + quoted(NO_ENTRY_LIBRARY));
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_TRUE(hasLine(result.output, "FAIL load: ")) << result.output;
    EXPECT_NE(result.output.find("exports no VST 2 entry point"), std::string::npos);
    EXPECT_NE(result.output.find("0 passed, 2 failed, 0 skipped"), std::string::npos);
}

}  // namespace
