// Which plug-in a tool plays and the settings it starts with (plugin_choice.h).
#include "tools/render/plugin_choice.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "tools/render/command_line.h"
#include "tools/render/plugin_search.h"

// The plug-in built together with this tool, relative to the tool's folder.
#ifndef CORVALEN_PLUGIN_RELATIVE_PATH
#define CORVALEN_PLUGIN_RELATIVE_PATH "../synth/Corvalen.so"
#endif
// The installed plug-in: relative to the installed tool's folder, or absolute.
#ifndef CORVALEN_PLUGIN_INSTALLED_PATH
#define CORVALEN_PLUGIN_INSTALLED_PATH "../lib/vst/Corvalen.so"
#endif

namespace corvalen::render {
namespace {

std::string executableFolder() {
    char path[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    std::string folder(path, static_cast<std::size_t>(length));
    const std::size_t slash = folder.rfind('/');
    return slash == std::string::npos ? "." : folder.substr(0, slash);
}

}  // namespace

std::string defaultPluginPath() {
    const std::string folder = executableFolder();
    const std::string candidates[] = {
        folder + "/" + CORVALEN_PLUGIN_RELATIVE_PATH,
        folder + "/Corvalen.so",
        (CORVALEN_PLUGIN_INSTALLED_PATH[0] == '/' ? "" : folder + "/") +
            CORVALEN_PLUGIN_INSTALLED_PATH,
    };
    for (const std::string& candidate : candidates) {
        if (access(candidate.c_str(), R_OK) == 0) return candidate;
    }
    return candidates[0];
}

std::string pluginPathFor(const std::string& given) {
    if (given.empty()) return defaultPluginPath();
    std::string searched;
    const std::string path = resolvePluginPath(given, &searched);
    if (!searched.empty() && access(path.c_str(), F_OK) != 0) {
        throw vsthost::LoadError(
            vsthost::LoadFailure::kLibraryUnloadable,
            "no plug-in " + given + " (looked in " + searched + " and the current folder)");
    }
    return path;
}

void applySettings(vsthost::Plugin& plugin, const std::optional<int>& program,
                   const std::vector<ParameterSetting>& parameters) {
    if (program) {
        if (*program >= plugin.numPrograms()) {
            throw UsageError("--program " + std::to_string(*program) + ": the plug-in has " +
                             std::to_string(plugin.numPrograms()) + " programs (0 to " +
                             std::to_string(plugin.numPrograms() - 1) + ")");
        }
        plugin.setProgram(*program);
    }
    for (const ParameterSetting& setting : parameters) {
        plugin.setParameter(parameterIndex(plugin, setting.nameOrIndex, "--param"), setting.value);
    }
}

VstInt32 parameterIndex(vsthost::Plugin& plugin, const std::string& nameOrIndex,
                        const std::string& option) {
    const std::string wanted = normalizedName(nameOrIndex);
    for (VstInt32 i = 0; i < plugin.numParams(); ++i) {
        if (normalizedName(plugin.parameterName(i)) == wanted) return i;
    }
    if (!wanted.empty() && wanted.find_first_not_of("0123456789") == std::string::npos &&
        wanted.size() < 9) {
        const VstInt32 index = std::stoi(wanted);
        if (index < plugin.numParams()) return index;
    }
    std::string known;
    for (VstInt32 i = 0; i < plugin.numParams(); ++i) {
        known += (i == 0 ? "" : ", ") + std::to_string(i) + " \"" + plugin.parameterName(i) + "\"";
    }
    throw UsageError(
        option + ": the plug-in has no parameter '" + nameOrIndex + "'; " +
        (known.empty() ? std::string("it has no parameters") : "its parameters are " + known));
}

}  // namespace corvalen::render
