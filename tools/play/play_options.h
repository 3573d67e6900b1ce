// Options of corvalen-play: every option is declared once, in the option table, from which the
// parser, --help and optionNames() are made (and against which a test holds the man page).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/render/option_values.h"

namespace corvalen::play {

using render::ParameterSetting;
using render::UsageError;

// Exit codes beyond the renderer's (tools/render/exit_code.h), which the player shares.
enum PlayExitCode : int {
    kExitNoServer = 8,    // no JACK server to play on, or the client could not be opened
    kExitServerGone = 9,  // the JACK server stopped while playing
};

// --cc N=PARAM: MIDI controller N moves the parameter named or numbered PARAM.
struct ControllerMapping {
    int controller = 0;
    std::string parameter;
};

struct Options {
    bool help = false;
    bool version = false;
    bool quiet = false;
    std::string pluginPath;  // empty: the Corvalen built or installed with the tool
    std::string clientName = "corvalen-play";
    bool noConnect = false;
    std::vector<std::string> connectOut;   // empty: the first physical playback ports
    std::vector<std::string> connectMidi;  // empty: every physical MIDI capture port
    std::optional<int> pluginRate;         // empty: JACK's, or the plug-in's fixed rate
    std::vector<ControllerMapping> controllers;
    std::vector<int> channels;  // 1..16; empty: all
    std::optional<int> program;
    std::vector<ParameterSetting> parameters;
    std::string recordPath;
    std::optional<render::SampleFormat> format;
};

struct OptionDefinition {
    const char* name;
    const char* shortName;
    const char* alias;
    const char* value;  // the value's name in --help, or null for an option without one
    const char* section;
    const char* help;
    void (*apply)(Options& options, const std::string& value, const std::string& name);
};

std::vector<std::string> optionNames();

// Parses argv (without the program name). Throws UsageError with a message for the user.
Options parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();

}  // namespace corvalen::play
