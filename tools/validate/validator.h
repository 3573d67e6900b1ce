// corvalen-render --validate: runs every check against a plug-in library and reports.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace validate {

struct ValidationOptions {
    std::string pluginPath;
    std::vector<std::string> only;  // check names (as in allChecks) to run; empty: all
};

// Names of all checks, for the help text and for validating --check.
std::vector<std::string> checkNames();

// Runs the chosen checks, each in a child process so that a crash or a hang fails that check
// alone, and writes one verdict line per result and then the tally to `out`. Returns the exit
// code: 0 when nothing failed, 1 otherwise.
int runValidation(const ValidationOptions& options, std::FILE* out);

}  // namespace validate
