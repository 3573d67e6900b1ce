// --validate: the validator's checks on one plug-in.
#include <unistd.h>

#include <cstdio>
#include <utility>

#include "tools/render/commands.h"
#include "tools/validate/validator.h"

namespace corvalen::render {

int validateCommand(const Options& options) {
    for (const auto& [names, option] : {std::pair(&options.checks, "--check"),
                                        std::pair(&options.expectedFailures, "--expect-fail")}) {
        const std::string problem = corvalen::validate::unknownCheckMessage(*names, option);
        if (!problem.empty()) throw UsageError(problem);
    }
    corvalen::validate::ValidationOptions validation;
    validation.pluginPath = options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath;
    validation.only = options.checks;
    validation.expectedFailures = options.expectedFailures;
    validation.format = options.report == "json" ? corvalen::validate::ReportFormat::kJson
                                                 : corvalen::validate::ReportFormat::kText;
    if (access(validation.pluginPath.c_str(), R_OK) != 0) {
        throw vsthost::LoadError(vsthost::LoadFailure::kLibraryUnloadable,
                                 "cannot read plug-in library " + validation.pluginPath);
    }
    return corvalen::validate::runValidation(validation, stdout);
}

}  // namespace corvalen::render
