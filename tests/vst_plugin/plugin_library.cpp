#include "tests/vst_plugin/plugin_library.h"

#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace corvalen::testing {

std::string pluginPath(const char* environmentVariable, const char* fallback) {
    const char* fromEnvironment = environmentVariable ? std::getenv(environmentVariable) : nullptr;
    if (fromEnvironment && *fromEnvironment) return fromEnvironment;
    return fallback ? fallback : "";
}

PluginLibrary::PluginLibrary(const std::string& path) {
#if defined(_WIN32)
    handle_ = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
    if (!handle_) {
        error_ =
            "LoadLibraryA failed for " + path + " (error " + std::to_string(GetLastError()) + ")";
        return;
    }
#else
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* reason = dlerror();
        error_ = reason ? reason : ("dlopen failed for " + path);
        return;
    }
#endif
    entry_ = reinterpret_cast<PluginEntry>(findSymbol("main"));
    if (!entry_) error_ = "no export named main in " + path;
}

PluginLibrary::~PluginLibrary() {
    if (!handle_) return;
#if defined(_WIN32)
    FreeLibrary(reinterpret_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
}

void* PluginLibrary::findSymbol(const char* name) const {
    if (!handle_) return nullptr;
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
#else
    return dlsym(handle_, name);
#endif
}

bool PluginLibrary::isMapped(const std::string& path) {
#if defined(_WIN32)
    return GetModuleHandleA(path.c_str()) != nullptr;
#else
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
#endif
}

const PluginLibrary& sharedPluginLibrary(const char* builtPath) {
    // Never destroyed, so that no effect still open at exit outlives its code.
    static const PluginLibrary* const loaded =
        new PluginLibrary(pluginPath("CORVALEN_PLUGIN", builtPath));
    return *loaded;
}

}  // namespace corvalen::testing
