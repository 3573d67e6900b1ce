// corvalen-render --validate: runs every check against a plug-in library and reports.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace corvalen::validate {

enum class ReportFormat { kText, kJson };

struct ValidationOptions {
    std::string pluginPath;
    std::vector<std::string> only;  // check names to run; empty: all
    // Check names whose failure is known and being worked on: reported as XFAIL, not counted
    // as failures. A pass is reported as a pass, with a note that the expectation can go.
    std::vector<std::string> expectedFailures;
    ReportFormat format = ReportFormat::kText;
};

// Names of all checks, in the order they run.
std::vector<std::string> checkNames();
// "" when every name is a check's; else a message naming the first unknown one (after
// `option`) and listing the valid names.
std::string unknownCheckMessage(const std::vector<std::string>& names, const std::string& option);
// One line per check: its name and what it does.
void listChecks(std::FILE* out);

// Loads the plug-in once in a child process to learn what it is; a file that is no VST 2
// plug-in throws vsthost::LoadError (as the renderer's loader does, with the same kinds).
// Then runs the chosen checks, each in a child process so that a crash or a hang decides that
// check alone, and writes one verdict line per check and then the tally to `out` (or, in
// JSON, one report). Returns the exit code: 0 when no check failed, 1 otherwise.
int runValidation(const ValidationOptions& options, std::FILE* out);

}  // namespace corvalen::validate
