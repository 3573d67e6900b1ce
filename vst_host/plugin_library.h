// A VST 2 plug-in library opened as hosts open it: dlopen (LoadLibrary on Windows), then the
// entry point looked up as VSTPluginMain first and main second (Ardour, MusE, Qtractor and
// Carla all do so), taken only from the library itself, never from one it depends on.
#pragma once

#include <stdexcept>
#include <string>

#include "vst_plugin/aeffect.h"

namespace corvalen::vsthost {

// Why a plug-in could not be loaded; each has its own exit code in the command-line tool.
enum class LoadFailure {
    kLibraryUnloadable,  // missing file, not a shared library, unresolved symbols
    kNoEntryPoint,       // neither VSTPluginMain nor main is exported
    kNoEffect,           // the entry point gave no usable effect record
};

class LoadError : public std::runtime_error {
public:
    LoadError(LoadFailure failure, const std::string& message)
        : std::runtime_error(message), failure_(failure) {}
    LoadFailure failure() const { return failure_; }

private:
    LoadFailure failure_;
};

// The open library and its entry point; unloaded at destruction, so every effect it made must
// be closed first.
class PluginLibrary {
public:
    static constexpr const char* kEntryNames[] = {"VSTPluginMain", "main"};

    // Throws LoadError (kLibraryUnloadable or kNoEntryPoint).
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::string& path() const { return path_; }
    // The exported name the entry point was found under.
    const std::string& entryName() const { return entryName_; }
    PluginEntry entry() const { return entry_; }
    // The dlopen / LoadLibrary handle, for tools that inspect what the library binds to.
    void* handle() const { return handle_; }
    // An exported name of the library itself; null when it exports none by that name.
    void* findSymbol(const char* name) const;

    // Whether a library of this path is already mapped into the process; loads nothing.
    static bool isMapped(const std::string& path);

private:
    std::string path_;
    std::string entryName_;
    void* handle_ = nullptr;
    PluginEntry entry_ = nullptr;
};

}  // namespace corvalen::vsthost
