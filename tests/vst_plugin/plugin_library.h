// Loads a plug-in library the way a host does (dlopen or LoadLibraryA) and finds its `main`.
// Depends on nothing but the record declarations, so that every test program, the cross-target
// checks included, loads plug-ins the same way.
#pragma once

#include <string>

#include "vst_plugin/aeffect.h"

namespace corvalen::testing {

// The path in the environment variable if it is set and not empty, else the fallback (the
// build's own library, passed in by CMake).
std::string pluginPath(const char* environmentVariable, const char* fallback);

// One loaded library (dlopen / LoadLibraryA) and its `main`. Unloaded on destruction: close
// every effect first.
class PluginLibrary {
public:
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool isLoaded() const { return handle_ != nullptr; }
    // Why loading or the look-up of `main` failed; empty when it did not.
    const std::string& error() const { return error_; }
    // Null when the library has no `main`.
    PluginEntry entry() const { return entry_; }
    // Looks up any exported name; null when it is not exported.
    void* findSymbol(const char* name) const;

    // Whether a library of this path is already mapped into the process; loads nothing.
    static bool isMapped(const std::string& path);

private:
    void* handle_ = nullptr;
    PluginEntry entry_ = nullptr;
    std::string error_;
};

// The plug-in a test program works on (CORVALEN_PLUGIN, else builtPath), loaded at the first
// call and kept until the process exits: effects are created and closed many times, the
// library loaded only once. Every call in a process must name the same built path.
const PluginLibrary& sharedPluginLibrary(const char* builtPath);

}  // namespace corvalen::testing
