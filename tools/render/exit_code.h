// corvalen-render's exit codes, and the errors that carry theirs to main.
#pragma once

#include <stdexcept>
#include <string>

#include "vst_host/plugin_library.h"

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

// An error the tool reports in one line and ends with its own exit code.
class ToolError : public std::runtime_error {
public:
    ToolError(ExitCode code, const std::string& message)
        : std::runtime_error(message), code_(code) {}
    ExitCode exitCode() const { return code_; }

private:
    ExitCode code_;
};

// The exit code of a plug-in that could not be loaded.
inline ExitCode exitCodeFor(vsthost::LoadFailure failure) {
    switch (failure) {
        case vsthost::LoadFailure::kLibraryUnloadable:
            return kExitLibrary;
        case vsthost::LoadFailure::kNoEntryPoint:
            return kExitNoEntryPoint;
        case vsthost::LoadFailure::kNoEffect:
            return kExitNoEffect;
    }
    return kExitRenderFailed;
}

}  // namespace corvalen::render
