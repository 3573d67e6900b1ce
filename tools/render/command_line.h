// Options of corvalen-render and its exit codes.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/render/wav_writer.h"

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
    std::string pluginPath;                     // empty: the Corvalen built next to the tool
    std::string midiPath;                       // empty: the built-in demo phrase
    std::string outputPath = "out.wav";
    int sampleRate = 44100;
    int blockSize = 512;
    int maxEventsPerList = 32;
    SampleFormat format = SampleFormat::kPcm24;
    double tailSeconds = -1.0;  // negative: until silence
    std::optional<int> program;
    std::vector<ParameterSetting> parameters;
};

// Parses argv (without the program name). Throws UsageError with a message for the user.
Options parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();

// Lower-case text without leading and trailing blanks: how parameter names are compared.
std::string normalizedName(const std::string& name);

}  // namespace corvalen::render
