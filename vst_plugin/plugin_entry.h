// The library's entry point. A C++ compiler does not accept a function named `main` that returns
// a pointer, so the plug-in defines corvalenPluginMain and the link step of
// corvalen_add_plugin (cmake/Plugin.cmake) exports it under the name `main`. Everything else in
// the library is hidden; only this declaration carries default visibility.
//
// The definition asks the host for its version (opcode 1, null record), answers null when the
// host says 0, and otherwise returns the record of a newly constructed effect object.
#pragma once

#include "vst_plugin/aeffect.h"

#if defined(_WIN32)
// The module-definition file names the export; dllexport would add a second one.
#define CORVALEN_PLUGIN_ENTRY extern "C"
#else
#define CORVALEN_PLUGIN_ENTRY extern "C" __attribute__((visibility("default")))
#endif

CORVALEN_PLUGIN_ENTRY AEffect* corvalenPluginMain(HostCallback audioMaster);
