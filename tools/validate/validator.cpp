#include "tools/validate/validator.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include "tools/validate/checks.h"

namespace corvalen::validate {
namespace {

double monotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

[[noreturn]] void runInChild(const Check& check, const std::string& pluginPath, int reportFd) {
    // Whatever the plug-in prints goes to stderr, so that stdout holds only the report.
    dup2(STDERR_FILENO, STDOUT_FILENO);
    FILE* report = fdopen(reportFd, "w");
    if (!report) _exit(3);
    CheckContext context(pluginPath, [report](const VerdictLine& line) {
        std::fprintf(report, "%s\n", formatVerdict(line).c_str());
        std::fflush(report);
    });
    try {
        check.run(context);
    } catch (const std::exception& error) {
        std::fprintf(report, "%s\n",
                     formatVerdict({Verdict::kFail, check.name, error.what()}).c_str());
    } catch (...) {
        std::fprintf(
            report, "%s\n",
            formatVerdict({Verdict::kFail, check.name, "the plug-in threw an exception"}).c_str());
    }
    std::fflush(report);
    // No destructors or exit handlers of the parent's state: the child only reports.
    _exit(0);
}

// Reads the child's report until it closes it or the deadline passes; false on timeout.
bool readReport(int fd, double deadline, std::string& text) {
    char buffer[4096];
    while (true) {
        const double left = deadline - monotonicSeconds();
        if (left <= 0.0) return false;
        pollfd wait{fd, POLLIN, 0};
        const int ready = poll(&wait, 1, static_cast<int>(std::min(left, 1.0) * 1000.0) + 1);
        if (ready < 0 && errno != EINTR) return true;
        if (ready <= 0) continue;
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return true;
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

std::vector<VerdictLine> runCheck(const Check& check, const std::string& pluginPath) {
    std::vector<VerdictLine> lines;
    int fds[2];
    if (pipe(fds) != 0) {
        lines.push_back({Verdict::kFail, check.name, "cannot create a pipe for the check"});
        return lines;
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        lines.push_back({Verdict::kFail, check.name, "cannot start a process for the check"});
        return lines;
    }
    if (child == 0) {
        close(fds[0]);
        runInChild(check, pluginPath, fds[1]);
    }
    close(fds[1]);
    std::string text;
    const bool finished = readReport(fds[0], monotonicSeconds() + check.timeoutSeconds, text);
    close(fds[0]);
    if (!finished) kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (auto line = parseVerdict(text.substr(start, end - start))) lines.push_back(*line);
        start = end + 1;
    }
    if (!finished) {
        lines.push_back({Verdict::kFail, check.name,
                         "no answer within " + std::to_string(check.timeoutSeconds) + " s (hung)"});
    } else if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        lines.push_back({Verdict::kFail, check.name,
                         "the plug-in crashed (signal " + std::to_string(signal) + ", " +
                             strsignal(signal) + ")"});
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        lines.push_back({Verdict::kFail, check.name,
                         "the check's process ended with status " +
                             std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
                             " (a crash caught by a sanitizer, or exit called inside the "
                             "plug-in; see stderr)"});
    } else if (lines.empty()) {
        lines.push_back({Verdict::kFail, check.name, "the check gave no verdict"});
    }
    return lines;
}

}  // namespace

const std::vector<Check>& allChecks() {
    static const std::vector<Check> kChecks = {
        {"load", checkLoad, 60},
        {"record", checkRecord, 60},
        {"identity", checkIdentity, 60},
        {"instances", checkInstances, 120},
        {"minimal-host", checkMinimalHost, 120},
        {"setup-order", checkSetupOrder, 120},
        {"block-sizes", checkBlockSizes, 600},
        {"sample-accuracy", checkSampleAccuracy, 120},
        {"edge-events", checkEdgeEvents, 120},
        {"event-flood", checkEventFlood, 120},
        {"parameter-fuzz", checkParameterFuzz, 120},
        {"programs", checkPrograms, 120},
        {"parameter-texts", checkParameterTexts, 60},
        {"host-oddities", checkHostOddities, 60},
        {"process-calls", checkProcessCalls, 120},
        {"no-allocation", checkNoAllocation, 120},
        {"tail", checkTail, 300},
    };
    return kChecks;
}

std::vector<std::string> checkNames() {
    std::vector<std::string> names;
    for (const Check& check : allChecks()) names.push_back(check.name);
    return names;
}

int runValidation(const ValidationOptions& options, std::FILE* out) {
    Tally tally;
    const double start = monotonicSeconds();
    std::fprintf(out, "validating %s\n", options.pluginPath.c_str());
    for (const Check& check : allChecks()) {
        if (!options.only.empty() &&
            std::find(options.only.begin(), options.only.end(), check.name) == options.only.end()) {
            continue;
        }
        for (VerdictLine line : runCheck(check, options.pluginPath)) {
            const bool expected =
                std::find(options.expectedFailures.begin(), options.expectedFailures.end(),
                          line.name) != options.expectedFailures.end();
            if (expected && line.verdict == Verdict::kFail) {
                line.verdict = Verdict::kExpectedFail;
                line.detail += " (expected: known fault)";
            } else if (expected && line.verdict == Verdict::kPass) {
                line.detail += " (expected to fail, but passes now)";
            }
            tally.count(line.verdict);
            std::fprintf(out, "%s\n", formatVerdict(line).c_str());
        }
        std::fflush(out);
    }
    std::fprintf(stderr, "validation took %.2f s\n", monotonicSeconds() - start);
    std::fprintf(out, "%s\n", tally.summary().c_str());
    std::fflush(out);
    return tally.exitCode();
}

}  // namespace corvalen::validate
