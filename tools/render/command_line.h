// Options of corvalen-render and its exit codes.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/render/audio_file.h"

namespace corvalen::render {

// Distinct exit codes, one per kind of failure (documented in --help and tools/README.md).
enum ExitCode : int {
    kExitOk = 0,
    kExitRenderFailed = 1,  // anything not covered below
    kExitUsage = 2,         // bad command line, unknown parameter or program
    kExitLibrary = 3,       // plug-in library missing or unloadable
    kExitNoEntryPoint = 4,  // library exports neither VSTPluginMain nor main
    kExitNoEffect = 5,      // the entry point gave no (usable) effect
    kExitMidi = 6,          // MIDI file unreadable or malformed
    kExitOutput = 7,        // output file cannot be written
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ParameterSetting {
    std::string nameOrIndex;
    float value = 0.0f;
};

struct Options {
    bool help = false;
    bool version = false;
    bool info = false;
    bool quiet = false;
    bool validate = false;                      // check the plug-in instead of rendering
    std::vector<std::string> checks;            // with validate: only these checks (empty: all)
    std::vector<std::string> expectedFailures;  // with validate: known failures (XFAIL)
    bool listChecks = false;                    // print the validator's checks and exit
    std::string report = "text";                // with validate: "text" or "json"
    bool list = false;                          // list the plug-ins found on the search path
    bool midiInfo = false;                      // describe the MIDI files instead of rendering
    bool progress = false;                      // progress line even when stderr is no terminal
    bool noClobber = false;                     // refuse to replace an existing output
    std::string pluginPath;                     // empty: the Corvalen built next to the tool
    std::vector<std::string> midiPaths;         // empty: the built-in demo phrase; "-": stdin
    std::string outputPath;                     // empty: named after the input; "-": stdout
    std::optional<Container> type;              // container when the name does not tell
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

// Parses argv (without the program name). Throws UsageError with a message for the user.
Options parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();

// Lower-case text without leading and trailing blanks: how parameter names are compared.
std::string normalizedName(const std::string& name);

}  // namespace corvalen::render
