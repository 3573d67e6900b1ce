// corvalen-render --validate: runs every check against a plug-in library and reports.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace corvalen::validate {

struct ValidationOptions {
    std::string pluginPath;
    std::vector<std::string> only;  // check names (as in allChecks) to run; empty: all
    // Verdict names (as printed, e.g. "tail" or "block-sizes@44100") whose failure is known
    // and being worked on: reported as XFAIL, not counted as failures. A pass is reported as
    // a pass, with a note that the expectation can go.
    std::vector<std::string> expectedFailures;
};

// Names of all checks, for the help text and for validating --check.
std::vector<std::string> checkNames();

// Runs the chosen checks, each in a child process so that a crash or a hang fails that check
// alone, and writes one verdict line per result and then the tally to `out`. Returns the exit
// code: 0 when nothing failed, 1 otherwise.
int runValidation(const ValidationOptions& options, std::FILE* out);

}  // namespace corvalen::validate
