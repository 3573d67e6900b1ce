// corvalen-render --validate run as a program: against the faulty fixture instrument (every
// check passes on the sound fixture and fails on its own fault), and on its command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "tests/tools/test_support.h"

namespace {

using corvalen::test::quoted;
using corvalen::test::runCommand;

corvalen::test::CommandResult validate(const std::string& fault, const std::string& arguments) {
    // stderr is dropped: it holds the plug-in's own chatter, not the report. A sanitizer's
    // runtime would turn a planted crash into an exit; it is told to leave SIGSEGV alone.
    return runCommand("(CORVALEN_FAULT=" + quoted(fault) + " ASAN_OPTIONS=handle_segv=0 " +
                      quoted(RENDER_EXE) + " --validate " + arguments + " 2>/dev/null)");
}

bool hasLine(const std::string& output, const std::string& start) {
    return output.find("\n" + start) != std::string::npos || output.rfind(start, 0) == 0;
}

TEST(Validator, TheSoundFixturePassesEveryCheck) {
    const auto result = validate("", quoted(FAULTY_PLUGIN));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find(" 0 failed, 0 warned, "), std::string::npos) << result.output;
    for (const char* check : {"load",
                              "record",
                              "identity",
                              "repeatability",
                              "instances",
                              "minimal-host",
                              "setup-order",
                              "block-sizes",
                              "sample-accuracy",
                              "events-in-one-block",
                              "edge-events",
                              "event-flood",
                              "parameter-changes",
                              "parameter-abuse",
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
    EXPECT_TRUE(hasLine(result.output, "SKIP effect-silence: an instrument"));
    EXPECT_TRUE(hasLine(result.output, "PASS no-allocation: ") ||
                hasLine(result.output, "SKIP no-allocation: cannot see the plug-in's allocations"))
        << result.output;
    EXPECT_TRUE(hasLine(result.output, "PASS no-locks: ") ||
                hasLine(result.output, "SKIP no-locks: cannot see the plug-in's locks"))
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
    EXPECT_EQ(all[3], "1 passed, 1 failed, 0 warned, 0 skipped");
}

TEST(Validator, JsonReportHoldsEveryVerdictWithItsTiming) {
    const auto result = validate("process-replaces",
                                 "--report json --check record --check "
                                 "process-accumulating " +
                                     quoted(FAULTY_PLUGIN));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output.rfind("{\n  \"plugin\": \"", 0), 0u) << result.output;
    EXPECT_TRUE(std::regex_search(
        result.output, std::regex("\\{\"name\": \"record\", \"verdict\": \"PASS\", \"detail\": "
                                  "\"instrument, [^\"]*\", \"seconds\": [0-9]+\\.[0-9]{3}\\}")))
        << result.output;
    EXPECT_NE(result.output.find("{\"name\": \"process-accumulating\", \"verdict\": \"WARN\""),
              std::string::npos);
    EXPECT_NE(result.output.find("\"summary\": {\"passed\": 1, \"failed\": 0, \"warned\": 1, "
                                 "\"skipped\": 0, \"expected_failures\": 0}"),
              std::string::npos)
        << result.output;
}

TEST(Validator, ExpectedFailuresAreReportedButDoNotFailTheRun) {
    const auto result = validate(
        "drops-events", "--check event-flood --expect-fail event-flood " + quoted(FAULTY_PLUGIN));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(hasLine(result.output, "XFAIL event-flood: ")) << result.output;
    EXPECT_NE(result.output.find("(expected: known fault)"), std::string::npos);
    EXPECT_NE(result.output.find("0 passed, 0 failed, 0 warned, 0 skipped, 1 expected to fail"),
              std::string::npos);

    const auto fixed =
        validate("", "--check event-flood --expect-fail event-flood " + quoted(FAULTY_PLUGIN));
    EXPECT_EQ(fixed.exitCode, 0) << fixed.output;
    EXPECT_NE(fixed.output.find("(expected to fail, but does not now)"), std::string::npos);
}

struct FaultCase {
    const char* fault;     // CORVALEN_FAULT: faults planted in the fixture
    const char* check;     // the check to run
    const char* verdict;   // the start of the line that must appear
    const char* contains;  // and a text that the line must hold
};

class FaultIsJudged : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultIsJudged, ByItsCheck) {
    const FaultCase& fault = GetParam();
    const auto result =
        validate(fault.fault, std::string("--check ") + fault.check + " " + quoted(FAULTY_PLUGIN));
    // Sanitizer builds cannot hook the allocator or the locks.
    const std::string check = fault.check;
    if ((check == "no-allocation" || check == "no-locks") &&
        hasLine(result.output, "SKIP " + check + ": cannot see")) {
        GTEST_SKIP() << "this build cannot count these calls: " << result.output;
    }
    // Only FAIL decides the exit code.
    const bool failed = std::string(fault.verdict).rfind("FAIL ", 0) == 0;
    EXPECT_EQ(result.exitCode, failed ? 1 : 0) << result.output;
    std::istringstream lines(result.output);
    std::string line;
    bool found = false;
    while (std::getline(lines, line)) {
        if (line.rfind(fault.verdict, 0) == 0) {
            found = true;
            EXPECT_NE(line.find(fault.contains), std::string::npos) << line;
        }
    }
    EXPECT_TRUE(found) << result.output;
}

INSTANTIATE_TEST_SUITE_P(
    FaultyFixture, FaultIsJudged,
    ::testing::Values(
        // Faults a host meets: FAIL, with what was observed.
        FaultCase{"long-names", "identity",
                  "FAIL identity: ", "name (32-byte buffer): wrote 8 bytes past the buffer"},
        FaultCase{"shared-state", "instances",
                  "FAIL instances: ", "setting parameter 0 of one instance to 0.125 changed"},
        FaultCase{"needs-host-rate", "minimal-host",
                  "FAIL minimal-host: ", "with a host answering 0 to all but the version: "},
        FaultCase{"resume-shifts", "setup-order",
                  "FAIL setup-order: ", "a second resume changes the output from frame 100 ("},
        FaultCase{"block-start", "block-sizes", "FAIL block-sizes: ",
                  "at 44100 Hz, 1-frame blocks differ from 512-frame blocks from frame 0 "
                  "(channel 0: 512-frame blocks give -0.384358168, 1-frame blocks give 0; "
                  "largest difference "},
        FaultCase{"block-start", "sample-accuracy", "FAIL sample-accuracy: ",
                  "(offset 1) first changes the output on frame 640, expected 641"},
        FaultCase{"shared-offset", "events-in-one-block", "FAIL events-in-one-block: ",
                  "the same events in 512-frame blocks differ from 1-frame blocks from frame 0 "
                  "(channel 0: 1-frame blocks give"},
        FaultCase{"zero-velocity", "edge-events",
                  "FAIL edge-events: ", "sounds different from a note-off there from frame"},
        FaultCase{"drops-events", "event-flood",
                  "FAIL event-flood: ", "the output does not die away: peak"},
        FaultCase{"crash-on-flood", "event-flood", "FAIL event-flood: ", "(signal 11"},
        FaultCase{"nan-at-one", "parameter-changes",
                  "FAIL parameter-changes: ", "while changing parameters to values from 0 to 1: "},
        FaultCase{"partial-write", "process-replacing",
                  "FAIL process-replacing: ", "from frame 511 (channel 0: zeroed buffers give"},
        FaultCase{"allocate", "no-allocation",
                  "FAIL no-allocation: ", "122 allocations and 122 frees"},
        FaultCase{"sleep", "no-locks",
                  "FAIL no-locks: ", "0 lock acquisitions, 0 waits and 122 sleeps"},
        FaultCase{"effect,dc-output", "effect-silence",
                  "FAIL effect-silence: ", "output with silent input: peak -21.6 dBFS"},
        FaultCase{"effect,stuck-tail", "effect-tail",
                  "FAIL effect-tail: ", "the output does not die away"},
        // Deviations under abuse or on paths hosts do not take: WARN.
        FaultCase{"slow-load", "load", "WARN load: ", "VSTPluginMain and effOpen: 15"},
        FaultCase{"tiny-block-edge", "block-sizes", "WARN block-sizes: ",
                  "(channel 0: 512-frame blocks give 0, 1-frame blocks give 9.99999994e-09; "
                  "largest difference 1.49011612e-08 (-156.5 dBFS) at frame 115)"},
        FaultCase{"drops-beyond-256", "event-flood", "WARN event-flood: ",
                  "651 events in one 512-frame list, every held note released on its last "
                  "frame: the output does not die away"},
        FaultCase{"lock", "no-locks", "WARN no-locks: ",
                  "122 lock acquisitions, 0 waits and 0 sleeps in 122 event lists and "
                  "processing calls (first: pthread_mutex_lock)"},
        FaultCase{"process-noise", "repeatability",
                  "WARN repeatability: ", "while two fresh processes agree bit for bit"},
        FaultCase{"nan-parameters", "parameter-abuse", "WARN parameter-abuse: ",
                  "after restoring the initial parameter values, note 64: "},
        FaultCase{"long-names", "program-name-overflow", "WARN program-name-overflow: ",
                  "effGetProgramName wrote 77 bytes past a 24-byte buffer"},
        FaultCase{"process-replaces", "process-accumulating",
                  "WARN process-accumulating: ", "hosts call processReplacing on this plug-in"},
        FaultCase{"subnormal-tail", "tail", "WARN tail: ", "subnormal samples"},
        FaultCase{"zero-frames", "host-oddities",
                  "WARN host-oddities: ", "a zero-frame processing call wrote into the buffers"},
        // Lines a plug-in writes into the report under other names count for nothing.
        FaultCase{"forged-verdicts", "identity", "PASS identity: ", "Corvalen tests"},
        // What cannot be judged: SKIP, with the reason.
        FaultCase{"silent", "block-sizes", "SKIP block-sizes: ", "may need user data"},
        FaultCase{"silent", "sample-accuracy", "SKIP sample-accuracy: ", "changes nothing"},
        FaultCase{"effect", "events-in-one-block", "SKIP events-in-one-block: ", "an effect"},
        // Like with like: state shared across instances does not fail comparisons, and a
        // long effect tail is no hung note.
        FaultCase{"process-noise", "minimal-host", "PASS minimal-host: ", "same output"},
        FaultCase{"process-noise", "process-replacing", "PASS process-replacing: ", "overwritten"},
        FaultCase{"effect", "effect-tail", "PASS effect-tail: ", "silent (below -90 dBFS)"},
        FaultCase{"effect", "block-sizes", "PASS block-sizes: ", "with the test signal as input"},
        FaultCase{"effect", "event-flood", "PASS event-flood: ", "finite output"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) {
        std::string name = std::string(info.param.fault) + "_" + info.param.check;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name + "_" + std::to_string(info.index);
    });

TEST(ValidatorCommandLine, RefusesUnknownNamesAndMisplacedOptions) {
    const auto unknown = runCommand(quoted(RENDER_EXE) + " --validate --check juggling " +
                                    quoted(FAULTY_PLUGIN) + " 2>&1");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.output.find("--check: no check named 'juggling' (checks: load, record, "),
              std::string::npos)
        << unknown.output;
    const auto unknownExpected =
        runCommand(quoted(RENDER_EXE) + " --validate --expect-fail block-sizes@44100 " +
                   quoted(FAULTY_PLUGIN) + " 2>&1");
    EXPECT_EQ(unknownExpected.exitCode, 2) << unknownExpected.output;
    EXPECT_NE(unknownExpected.output.find("--expect-fail: no check named 'block-sizes@44100'"),
              std::string::npos);
    const auto withoutValidate =
        runCommand(quoted(RENDER_EXE) + " --check load -p " + quoted(FAULTY_PLUGIN) + " 2>&1");
    EXPECT_EQ(withoutValidate.exitCode, 2) << withoutValidate.output;
    const auto twoPlugins = runCommand(quoted(RENDER_EXE) + " --validate -p " +
                                       quoted(FAULTY_PLUGIN) + " other.so 2>&1");
    EXPECT_EQ(twoPlugins.exitCode, 2) << twoPlugins.output;
    const auto badReport = runCommand(quoted(RENDER_EXE) + " --validate --report xml " +
                                      quoted(FAULTY_PLUGIN) + " 2>&1");
    EXPECT_EQ(badReport.exitCode, 2) << badReport.output;
}

TEST(ValidatorCommandLine, ListsEveryCheckWithOneLineEach) {
    const auto result = runCommand(quoted(RENDER_EXE) + " --list-checks");
    EXPECT_EQ(result.exitCode, 0);
    std::istringstream lines(result.output);
    std::string line;
    std::vector<std::string> names;
    while (std::getline(lines, line)) names.push_back(line.substr(0, line.find(' ')));
    EXPECT_EQ(names.size(), 25u) << result.output;
    EXPECT_EQ(names.front(), "load");
    EXPECT_NE(std::find(names.begin(), names.end(), "events-in-one-block"), names.end());
    // Every listed name is accepted by --check.
    for (const std::string& name : names) {
        const auto run = runCommand(quoted(RENDER_EXE) + " --validate --check " + name +
                                    " /nonexistent.so 2>&1");
        EXPECT_EQ(run.exitCode, 3) << name << ": " << run.output;
    }
}

TEST(ValidatorCommandLine, AFileThatIsNoPluginGetsOneLineAndTheRenderersExitCode) {
    corvalen::test::TempFolder folder;
    corvalen::test::writeFile(folder.file("notes.txt"), {'h', 'e', 'l', 'l', 'o', '\n'});
    const struct {
        std::string environment;
        std::string path;
        int exitCode;
        const char* says;
    } kCases[] = {
        {"", folder.file("notes.txt"), 3, "cannot load plug-in library"},
        {"", "/nonexistent/plugin.so", 3, "cannot"},
        {"", NO_ENTRY_LIBRARY, 4, "exports no VST 2 entry point"},
        {"CORVALEN_FIXTURE_MODE=null ", RECORDER_PLUGIN, 5, "returned no effect"},
    };
    for (const auto& each : kCases) {
        const auto result = runCommand("(" + each.environment + quoted(RENDER_EXE) +
                                       " --validate " + quoted(each.path) + " 2>&1)");
        EXPECT_EQ(result.exitCode, each.exitCode) << each.path << ": " << result.output;
        EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
        EXPECT_NE(result.output.find(each.says), std::string::npos) << result.output;
    }
}

}  // namespace
