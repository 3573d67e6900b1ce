// Which plug-in a tool plays, and the settings it starts with: what -p, --program and --param
// mean in every tool here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/render/option_values.h"
#include "vst_host/plugin.h"

namespace corvalen::render {

// The Corvalen plug-in built or installed with the tool (found from the tool's own folder).
std::string defaultPluginPath();
// The library -p names, found on the search path; the default one when `given` is empty.
// Throws vsthost::LoadError when a bare name is found nowhere.
std::string pluginPathFor(const std::string& given);
// --program, then the --param values; throws UsageError for what the plug-in does not have.
void applySettings(vsthost::Plugin& plugin, const std::optional<int>& program,
                   const std::vector<ParameterSetting>& parameters);
// The parameter named (blanks trimmed, any case) or numbered `nameOrIndex`; throws UsageError
// naming `option` and listing the plug-in's parameters.
VstInt32 parameterIndex(vsthost::Plugin& plugin, const std::string& nameOrIndex,
                        const std::string& option);

}  // namespace corvalen::render
