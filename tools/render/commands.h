// The commands of corvalen-render, one file each; main.cpp picks one by Options::mode.
#pragma once

#include <string>

#include "tools/render/command_line.h"
#include "tools/render/plugin_choice.h"
#include "vst_host/plugin.h"

namespace corvalen::render {

int renderCommand(const Options& options);
int infoCommand(const Options& options);
int listCommand(const Options& options);
int midiInfoCommand(const Options& options);
int validateCommand(const Options& options);

// What the commands share (messages.cpp).

// The library -p names (plugin_choice.h).
inline std::string pluginPathFor(const Options& options) {
    return pluginPathFor(options.pluginPath);
}
// --program and --param applied; throws UsageError for what the plug-in does not have.
inline void applySettings(vsthost::Plugin& plugin, const Options& options) {
    applySettings(plugin, options.program, options.parameters);
}
// "corvalen-render: warning: ..." on stderr unless --quiet.
void warn(const Options& options, const std::string& text);
// How messages name a MIDI file ("-" is standard input).
std::string inputName(const std::string& path);

}  // namespace corvalen::render
