#include "vst_host/plugin_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <link.h>
#endif

namespace corvalen::vsthost {
namespace {

#if defined(_WIN32)
void* openLibrary(const std::string& path, std::string& error) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) error = "LoadLibrary failed (error " + std::to_string(GetLastError()) + ")";
    return reinterpret_cast<void*>(module);
}

void closeLibrary(void* handle) {
    FreeLibrary(reinterpret_cast<HMODULE>(handle));
}

// GetProcAddress searches only the module it is given.
void* ownSymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
}
#else
void* openLibrary(const std::string& path, std::string& error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        error = reason ? reason : "unknown reason";
    }
    return handle;
}

void closeLibrary(void* handle) {
    dlclose(handle);
}

// dlsym on a library's handle also searches the libraries it depends on; an entry point found
// there (a `main` of some dependency) is not the plug-in's, so the symbol must lie in the
// library's own mapping.
void* ownSymbol(void* handle, const char* name) {
    dlerror();
    void* symbol = dlsym(handle, name);
    if (!symbol || dlerror()) return nullptr;
    link_map* map = nullptr;
    Dl_info info{};
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || dladdr(symbol, &info) == 0) {
        return symbol;
    }
    return info.dli_fname && std::string(info.dli_fname) == map->l_name ? symbol : nullptr;
}
#endif

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
    std::string reason;
    handle_ = openLibrary(path, reason);
    if (!handle_) {
        throw LoadError(LoadFailure::kLibraryUnloadable,
                        "cannot load plug-in library " + path + ": " + reason);
    }
    for (const char* name : kEntryNames) {
        if (void* symbol = ownSymbol(handle_, name)) {
            entry_ = reinterpret_cast<PluginEntry>(symbol);
            entryName_ = name;
            return;
        }
    }
    closeLibrary(handle_);
    handle_ = nullptr;
    throw LoadError(LoadFailure::kNoEntryPoint,
                    path + " exports no VST 2 entry point (VSTPluginMain or main)");
}

PluginLibrary::~PluginLibrary() {
    if (handle_) closeLibrary(handle_);
}

void* PluginLibrary::findSymbol(const char* name) const {
    return ownSymbol(handle_, name);
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

}  // namespace corvalen::vsthost
