// The smallest host-side loader: opens a plug-in library the way a host does (dlopen or
// LoadLibraryA) and finds its `main`. Kept apart from the full test host so that the
// cross-target checks depend on nothing but the record declarations.
#pragma once

#include <string>

#include "host/aeffect.h"

namespace corvalen::cross {

class PluginModule {
public:
    explicit PluginModule(const std::string& path);
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    // Null when the library did not load or exports no `main`.
    PluginEntry entry() const { return entry_; }
    // Null when the name is not exported.
    void* symbol(const char* name) const;

    // Whether a library of this path is already mapped into the process, without loading it.
    static bool isMapped(const std::string& path);

private:
    void* handle_ = nullptr;
    PluginEntry entry_ = nullptr;
};

// CORVALEN_PLUGIN from the environment when set and not empty, else the build's own library.
std::string pluginPathFromEnvironment(const char* builtPath);

// Answers the version query with 2400 and every other request with 0.
extern "C" VstIntPtr minimalHostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                         VstIntPtr value, void* ptr, float opt);

}  // namespace corvalen::cross
