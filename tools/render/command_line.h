// Options of corvalen-render: every option is declared once, in the table of command_line.cpp,
// from which the parser, --help and optionNames() are made (a test holds the man page to it).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/render/audio_file.h"
#include "tools/render/option_values.h"

namespace corvalen::render {

// What the tool does; one per command line.
enum class Mode { kRender, kHelp, kVersion, kInfo, kList, kMidiInfo, kValidate, kListChecks };

struct Options {
    Mode mode = Mode::kRender;
    bool quiet = false;
    std::vector<std::string> checks;            // with validate: only these checks (empty: all)
    std::vector<std::string> expectedFailures;  // with validate: known failures (XFAIL)
    std::string report = "text";                // with validate: "text" or "json"
    bool progress = false;                      // progress line even when stderr is no terminal
    bool noClobber = false;                     // refuse to replace an existing output
    std::string pluginPath;                     // empty: the Corvalen built next to the tool
    // Render: MIDI files (empty: the built-in demo phrase; "-": stdin). List: folders.
    std::vector<std::string> midiPaths;
    std::string outputPath;         // empty: named after the input; "-": stdout
    std::optional<Container> type;  // container when the name does not tell
    int sampleRate = 44100;
    std::optional<int> renderRate;  // the plug-in's rate, when not sampleRate
    int blockSize = 512;
    int maxEventsPerList = 0;  // 0: a block's events in one list
    std::optional<SampleFormat> format;
    double tailSeconds = -1.0;  // negative: until silence
    double gainDb = 0.0;
    std::optional<double> normalizeDbfs;
    std::string inputAudioPath;  // audio fed to an effect's inputs
    std::vector<int> channels;   // 1..16; empty: all
    std::vector<int> tracks;     // 1..; empty: all
    std::optional<int> program;
    std::vector<ParameterSetting> parameters;
};

// One option as the parser and --help know it.
struct OptionDefinition {
    const char* name;       // "--plugin"
    const char* shortName;  // "-p", or null
    const char* alias;      // a second long name the parser accepts, or null
    // The value's name in --help, or null for an option without one; in brackets ("[DBFS]")
    // when the value may be left out (then it is taken only when a number follows).
    const char* value;
    const char* section;
    const char* help;   // lines after the first are indented under it
    Mode mode;          // the mode it selects; kRender for the options that only set something
    bool validateOnly;  // refused without --validate
    // Stores the value; `name` is the option's name for messages.
    void (*apply)(Options& options, const std::string& value, const std::string& name);
};

// Every name a command line may use: long names, short names and aliases.
std::vector<std::string> optionNames();

// Parses argv (without the program name). Throws UsageError with a message for the user.
Options parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();

// Lower-case text without leading and trailing blanks: how parameter names are compared.
std::string normalizedName(const std::string& name);

}  // namespace corvalen::render
