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
    CheckContext context(check.name, pluginPath, facts, [report](const VerdictLine& line) {
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
        // Every check would meet the same crash: it is reported once, as the load's (the first
        // check).
        record({Verdict::kFail, allChecks().front().name, loaded.crash},
               monotonicSeconds() - start);
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
