#include "tools/validate/validator.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>

#include "tools/common/child_process.h"
#include "tools/validate/checks.h"

namespace corvalen::validate {
namespace {

using tools::monotonicSeconds;

void reportCheck(const Check& check, const std::string& pluginPath, const PluginFacts& facts,
                 int reportFd) {
    FILE* report = fdopen(reportFd, "w");
    if (!report) _exit(3);
    CheckContext context(pluginPath, facts, [report](const VerdictLine& line) {
        std::fprintf(report, "%s\n", formatVerdict(line).c_str());
        std::fflush(report);
    });
    try {
        check.run(context);
    } catch (...) {
        std::fprintf(
            report, "%s\n",
            formatVerdict({check.crashVerdict, check.name, currentExceptionMessage()}).c_str());
    }
    std::fflush(report);
}

// The verdict a check's process earned by how it ended, when that was not normally.
std::optional<VerdictLine> endingVerdict(const Check& check, const tools::ChildEnding& ending) {
    using Kind = tools::ChildEnding::Kind;
    if (ending.kind == Kind::kNotStarted) {
        return VerdictLine{Verdict::kFail, check.name, ending.problem + " for the check"};
    }
    if (ending.kind == Kind::kHung) {
        char spent[120] = "";
        if (ending.cpuSeconds >= 0.0) {
            std::snprintf(spent, sizeof spent, "; its process had used %.1f s of CPU time",
                          ending.cpuSeconds);
        }
        return VerdictLine{check.crashVerdict, check.name,
                           "no answer within " + std::to_string(check.timeoutSeconds) +
                               " s of wall time (hung, or very slow on a loaded machine)" + spent};
    }
    if (ending.kind == Kind::kSignaled) {
        return VerdictLine{check.crashVerdict, check.name,
                           "the plug-in crashed (" + ending.signalText() + ")"};
    }
    if (ending.exitCode != 0) {
        return VerdictLine{check.crashVerdict, check.name,
                           "the check's process ended with status " +
                               std::to_string(ending.exitCode) +
                               " (a crash caught by a sanitizer, or exit called inside the "
                               "plug-in; see stderr)"};
    }
    return std::nullopt;
}

// The verdict lines a check's process printed; a line under another name than the check's is
// no verdict of this check (a plug-in printing into the report, or a check reporting under a
// wrong name) and is dropped.
std::vector<VerdictLine> verdictLines(const Check& check, const std::string& text) {
    std::vector<VerdictLine> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const auto line = parseVerdict(text.substr(start, end - start));
        if (line && line->name == check.name) lines.push_back(*line);
        start = end + 1;
    }
    return lines;
}

std::vector<VerdictLine> runCheck(const Check& check, const std::string& pluginPath,
                                  const PluginFacts& facts) {
    tools::ChildOptions options;
    options.timeoutSeconds = check.timeoutSeconds;
    // Whatever the plug-in prints goes to stderr, so that stdout holds only the report.
    options.output = tools::ChildOutput::kStdoutToStderr;
    const tools::ChildResult child =
        tools::runInChild([&](int fd) { reportCheck(check, pluginPath, facts, fd); }, options);
    std::vector<VerdictLine> lines = verdictLines(check, child.answer);
    if (const auto ending = endingVerdict(check, child.ending)) {
        lines.push_back(*ending);
    } else if (lines.empty()) {
        lines.push_back({Verdict::kFail, check.name, "the check gave no verdict"});
    }
    return lines;
}

// What the preflight child learnt, or why the file is no usable plug-in.
struct Preflight {
    bool usable = false;
    vsthost::LoadFailure failure = vsthost::LoadFailure::kLibraryUnloadable;
    std::string message;  // when not usable
    std::string crash;    // when the child died instead of answering
    PluginFacts facts;
};

void reportFacts(const std::string& pluginPath, int reportFd) {
    FILE* report = fdopen(reportFd, "w");
    if (!report) _exit(3);
    try {
        vsthost::PluginLibrary library(pluginPath);
        PluginInstance instance(library);
        instance.open();
        const long category = static_cast<long>(instance.dispatch(effGetPlugCategory));
        std::fprintf(report, "F %d %d %d %d %d %d %d %ld\n", instance.isSynth() ? 1 : 0,
                     instance.numInputs(), instance.numOutputs(), instance.numParams(),
                     instance.numPrograms(),
                     instance.preferredCall() == ProcessCall::kReplacing ? 1 : 0,
                     instance.offersAccumulating() ? 1 : 0, category);
    } catch (const vsthost::LoadError& error) {
        std::fprintf(report, "L %d %s\n", static_cast<int>(error.failure()), error.what());
    } catch (const std::exception& error) {
        std::fprintf(report, "L %d %s: %s\n", static_cast<int>(vsthost::LoadFailure::kNoEffect),
                     pluginPath.c_str(), error.what());
    }
    std::fflush(report);
}

std::string crashWhileLoading(const tools::ChildEnding& ending) {
    switch (ending.kind) {
        case tools::ChildEnding::Kind::kHung:
            return "no answer within 120 s (hung) while loading";
        case tools::ChildEnding::Kind::kSignaled:
            return "the plug-in crashed while loading (" + ending.signalText() + ")";
        default:
            return "the loading process ended without an answer (status " +
                   std::to_string(ending.exitCode) + ")";
    }
}

Preflight preflight(const std::string& pluginPath) {
    tools::ChildOptions options;
    options.timeoutSeconds = 120.0;
    options.output = tools::ChildOutput::kStdoutToStderr;
    const tools::ChildResult child =
        tools::runInChild([&](int fd) { reportFacts(pluginPath, fd); }, options);
    if (child.ending.kind == tools::ChildEnding::Kind::kNotStarted) {
        throw std::runtime_error(child.ending.problem);
    }
    Preflight result;
    const std::string& text = child.answer;
    PluginFacts& facts = result.facts;
    int synth = 0;
    int replacing = 0;
    int accumulating = 0;
    int kind = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "F %d %d %d %d %d %d %d %ld", &synth, &facts.inputs,
                    &facts.outputs, &facts.parameters, &facts.programs, &replacing, &accumulating,
                    &facts.category) == 8) {
        facts.synth = synth != 0;
        facts.replacing = replacing != 0;
        facts.accumulating = accumulating != 0;
        result.usable = true;
    } else if (std::sscanf(text.c_str(), "L %d %n", &kind, &consumed) == 1 && consumed > 0) {
        result.failure = static_cast<vsthost::LoadFailure>(kind);
        result.message = text.substr(static_cast<std::size_t>(consumed));
        while (!result.message.empty() && result.message.back() == '\n') result.message.pop_back();
    } else {
        result.crash = crashWhileLoading(child.ending);
    }
    return result;
}

std::string jsonText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

struct Result {
    VerdictLine line;
    double seconds = 0.0;
};

void writeJson(std::FILE* out, const std::string& pluginPath, const std::vector<Result>& results,
               const Tally& tally) {
    std::fprintf(out, "{\n  \"plugin\": %s,\n  \"checks\": [", jsonText(pluginPath).c_str());
    for (std::size_t i = 0; i < results.size(); ++i) {
        const Result& result = results[i];
        std::fprintf(out,
                     "%s\n    {\"name\": %s, \"verdict\": %s, \"detail\": %s, \"seconds\": %.3f}",
                     i == 0 ? "" : ",", jsonText(result.line.name).c_str(),
                     jsonText(verdictWord(result.line.verdict)).c_str(),
                     jsonText(result.line.detail).c_str(), result.seconds);
    }
    std::fprintf(out,
                 "\n  ],\n  \"summary\": {\"passed\": %d, \"failed\": %d, \"warned\": %d, "
                 "\"skipped\": %d, \"expected_failures\": %d}\n}\n",
                 tally.passed(), tally.failed(), tally.warned(), tally.skipped(),
                 tally.expectedFailures());
}

}  // namespace

const std::vector<Check>& allChecks() {
    static const std::vector<Check> kChecks = {
        {"load", "dlopen, the entry point and effOpen: CPU time, best of 3 fresh processes",
         checkLoad, 120},
        {"record", "the effect record: magic, entries, id, channel counts, flags", checkRecord, 60},
        {"identity", "effect name, vendor and product strings fit guarded 32/64-byte buffers",
         checkIdentity, 60},
        {"repeatability",
         "the same phrase renders bit-identically in fresh processes and on successive "
         "instances in one process",
         checkRepeatability, 120},
        {"instances",
         "two instances at once keep their own parameters; closing one leaves the other playing",
         checkInstances, 120},
        {"minimal-host", "a host answering 0 to everything but the version gives the same output",
         checkMinimalHost, 120},
        {"setup-order", "rate and block size before effOpen, or resume twice, change nothing",
         checkSetupOrder, 120},
        {"block-sizes",
         "blocks of 1 to 4096 frames at 44100, 48000 and 96000 Hz give bit-identical, finite "
         "output",
         checkBlockSizes, 600},
        {"sample-accuracy", "a note's onset moves with its offset inside a 64-frame block",
         checkSampleAccuracy, 120},
        {"events-in-one-block",
         "several events in one block (same frame, first and last frames) sound as in 1-frame "
         "blocks",
         checkEventsInOneBlock, 300},
        {"edge-events",
         "note-offs without a note-on change nothing; velocity 0 releases like a note-off",
         checkEdgeEvents, 120},
        {"event-flood",
         "600 random events in one list, then releases: no crash, finite, the sound dies away",
         checkEventFlood, 120},
        {"effect-silence", "an effect given silence gives silence after a 5 s settling time",
         checkEffectSilence, 120},
        {"effect-tail",
         "an effect's output dies away after its input ends, at its own pace, finite",
         checkEffectTail, 300},
        {"parameter-changes",
         "random parameter values from 0 to 1 every 32 frames: finite output, sound afterwards",
         checkParameterChanges, 120},
        {"parameter-abuse",
         "out-of-range, NaN and infinite parameter values (WARN only: hosts do not send them)",
         checkParameterAbuse, 30, Verdict::kWarn},
        {"programs", "every program selects, reads back and names itself within 24 bytes",
         checkPrograms, 120},
        {"program-name-overflow",
         "a 100-character program name is cut or refused (WARN only: hosts send 24)",
         checkProgramNameOverflow, 60, Verdict::kWarn},
        {"parameter-texts",
         "names, labels and displays of every parameter fit guarded 64-byte buffers",
         checkParameterTexts, 60},
        {"host-oddities",
         "unknown opcodes and zero-frame blocks (WARN only: hosts do not send them)",
         checkHostOddities, 60, Verdict::kWarn},
        {"process-replacing", "processReplacing overwrites whatever the output buffers held",
         checkProcessReplacing, 120},
        {"process-accumulating",
         "process adds to the buffers (WARN when processReplacing is offered: hosts use that)",
         checkProcessAccumulating, 120},
        {"no-allocation", "no malloc or free inside effProcessEvents and the processing calls",
         checkNoAllocation, 120},
        {"no-locks",
         "no sleep inside effProcessEvents and the processing calls (FAIL); no lock or wait "
         "there (WARN)",
         checkNoLocks, 120},
        {"tail",
         "an instrument's note dies away after release; tail blocks cost no more than sounding "
         "ones",
         checkTail, 300},
    };
    return kChecks;
}

const Check* findCheck(const std::string& name) {
    for (const Check& check : allChecks()) {
        if (name == check.name) return &check;
    }
    return nullptr;
}

std::vector<std::string> checkNames() {
    std::vector<std::string> names;
    for (const Check& check : allChecks()) names.push_back(check.name);
    return names;
}

std::string unknownCheckMessage(const std::vector<std::string>& names, const std::string& option) {
    for (const std::string& name : names) {
        if (findCheck(name)) continue;
        std::string list;
        for (const Check& check : allChecks())
            list += std::string(list.empty() ? "" : ", ") + check.name;
        return option + ": no check named '" + name + "' (checks: " + list + ")";
    }
    return "";
}

void listChecks(std::FILE* out) {
    for (const Check& check : allChecks()) {
        std::fprintf(out, "%-22s %s\n", check.name, check.description);
    }
}

int runValidation(const ValidationOptions& options, std::FILE* out) {
    const double start = monotonicSeconds();
    const Preflight loaded = preflight(options.pluginPath);
    if (!loaded.usable && loaded.crash.empty()) {
        throw vsthost::LoadError(loaded.failure, loaded.message);
    }
    Tally tally;
    std::vector<Result> results;
    const bool text = options.format == ReportFormat::kText;
    if (text) std::fprintf(out, "validating %s\n", options.pluginPath.c_str());
    auto record = [&](VerdictLine line, double seconds) {
        const bool expected =
            std::find(options.expectedFailures.begin(), options.expectedFailures.end(),
                      line.name) != options.expectedFailures.end();
        if (expected && line.verdict == Verdict::kFail) {
            line.verdict = Verdict::kExpectedFail;
            line.detail += " (expected: known fault)";
        } else if (expected) {
            line.detail += " (expected to fail, but does not now)";
        }
        tally.count(line.verdict);
        results.push_back({line, seconds});
        if (text) std::fprintf(out, "%s\n", formatVerdict(line).c_str());
    };
    if (!loaded.usable) {
        // Every check would meet the same crash: it is reported once, as the load's.
        record({Verdict::kFail, "load", loaded.crash}, monotonicSeconds() - start);
    } else {
        for (const Check& check : allChecks()) {
            if (!options.only.empty() && std::find(options.only.begin(), options.only.end(),
                                                   check.name) == options.only.end()) {
                continue;
            }
            const double checkStart = monotonicSeconds();
            const std::vector<VerdictLine> lines =
                runCheck(check, options.pluginPath, loaded.facts);
            for (const VerdictLine& line : lines) {
                record(line, monotonicSeconds() - checkStart);
            }
            std::fflush(out);
        }
    }
    std::fprintf(stderr, "validation took %.2f s\n", monotonicSeconds() - start);
    if (text) {
        std::fprintf(out, "%s\n", tally.summary().c_str());
    } else {
        writeJson(out, options.pluginPath, results, tally);
    }
    std::fflush(out);
    return tally.exitCode();
}

}  // namespace corvalen::validate
