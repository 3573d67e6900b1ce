// The plug-in a test program (or benchmark, or fuzz target) works on, found the way every one of
// them finds it: the path in the environment variable CORVALEN_PLUGIN_PATH if set, else the
// library this build made (the compile definition of the same name, given by
// corvalen_add_plugin_test or corvalen_use_built_plugin).
#pragma once

#include <cstdlib>
#include <string>

#include "vst_host/host.h"
#include "vst_host/plugin_library.h"

namespace corvalen::test {

// The environment variable's value if it is set and not empty, else the fallback.
inline std::string pathFromEnvironment(const char* variable, const char* fallback) {
    const char* fromEnvironment = std::getenv(variable);
    if (fromEnvironment && *fromEnvironment) return fromEnvironment;
    return fallback;
}

#ifdef CORVALEN_PLUGIN_PATH
inline std::string pluginUnderTestPath() {
    return pathFromEnvironment("CORVALEN_PLUGIN_PATH", CORVALEN_PLUGIN_PATH);
}

// Loaded at the first call and kept until the process exits (never unloaded, so no effect
// still open at exit outlives its code): effects are created and closed many times, the library
// loaded once. Throws vsthost::LoadError, which fails the test that first asks.
inline const vsthost::PluginLibrary& pluginUnderTest() {
    static const vsthost::PluginLibrary* const loaded =
        new vsthost::PluginLibrary(pluginUnderTestPath());
    return *loaded;
}
#endif

// A host that answers the version query and nothing else, and keeps no log: for programs that
// open effects by the million (benchmarks, fuzz targets). Never destroyed, like the library.
inline vsthost::Host& bareHost() {
    static vsthost::Host* const host = [] {
        auto* made = new vsthost::Host(vsthost::HostProfile::kVersionOnly);
        made->setLogging(false);
        return made;
    }();
    return *host;
}

}  // namespace corvalen::test
