#include "tests/cross/plugin_module.h"

#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace corvalen::cross {

PluginModule::PluginModule(const std::string& path) {
#if defined(_WIN32)
    handle_ = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
#else
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    entry_ = reinterpret_cast<PluginEntry>(symbol("main"));
}

PluginModule::~PluginModule() {
    if (handle_ == nullptr) return;
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
}

void* PluginModule::symbol(const char* name) const {
    if (handle_ == nullptr) return nullptr;
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
    return dlsym(handle_, name);
#endif
}

bool PluginModule::isMapped(const std::string& path) {
#if defined(_WIN32)
    return GetModuleHandleA(path.c_str()) != nullptr;
#else
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
#endif
}

std::string pluginPathFromEnvironment(const char* builtPath) {
    const char* overridden = std::getenv("CORVALEN_PLUGIN");
    if (overridden != nullptr && overridden[0] != '\0') return overridden;
    return builtPath;
}

extern "C" VstIntPtr minimalHostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*,
                                         float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

}  // namespace corvalen::cross
