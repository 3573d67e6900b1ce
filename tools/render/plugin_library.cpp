#include "tools/render/plugin_library.h"

#include <dlfcn.h>

namespace render {

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* reason = dlerror();
        throw LoadError(
            LoadFailure::kLibraryUnloadable,
            "cannot load plug-in library " + path + ": " + (reason ? reason : "unknown reason"));
    }
    for (const char* name : kEntryNames) {
        dlerror();
        void* symbol = dlsym(handle_, name);
        if (symbol && !dlerror()) {
            entry_ = reinterpret_cast<PluginEntry>(symbol);
            entryName_ = name;
            return;
        }
    }
    dlclose(handle_);
    handle_ = nullptr;
    throw LoadError(LoadFailure::kNoEntryPoint,
                    path + " exports no VST 2 entry point (VSTPluginMain or main)");
}

PluginLibrary::~PluginLibrary() {
    if (handle_) dlclose(handle_);
}

}  // namespace render
