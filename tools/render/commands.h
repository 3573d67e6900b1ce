// The commands of corvalen-render, one file each; main.cpp picks one by Options::mode.
#pragma once

#include <string>

#include "tools/render/command_line.h"
#include "vst_host/plugin.h"

namespace corvalen::render {

int renderCommand(const Options& options);
int infoCommand(const Options& options);
int listCommand(const Options& options);
int midiInfoCommand(const Options& options);
int validateCommand(const Options& options);

// What the commands share (plugin_choice.cpp).

// The Corvalen plug-in built or installed with the tool.
std::string defaultPluginPath();
// The library -p names, found on the search path; the default one without -p. Throws
// vsthost::LoadError when a bare name is found nowhere.
std::string pluginPathFor(const Options& options);
// --program and --param applied; throws UsageError for what the plug-in does not have.
void applySettings(vsthost::Plugin& plugin, const Options& options);
// "corvalen-render: warning: ..." on stderr unless --quiet.
void warn(const Options& options, const std::string& text);
// How messages name a MIDI file ("-" is standard input).
std::string inputName(const std::string& path);

}  // namespace corvalen::render
