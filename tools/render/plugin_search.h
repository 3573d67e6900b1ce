// Finding VST 2 plug-ins the way Linux hosts do: bare names on the VST search path, bundle
// folders opened at the library inside them, and a listing of everything installed.
#pragma once

#include <string>
#include <vector>

namespace corvalen::render {

// VST_PATH and LXVST_PATH (colon-separated), ~/.vst, ~/.lxvst, /usr/local/lib/vst,
// /usr/lib/vst, /usr/lib/lxvst: existing folders only, each once, in that order.
std::vector<std::string> pluginSearchFolders();

// The library inside a bundle folder (X.vst/X.so, or the one library in it); empty if none.
std::string libraryInBundle(const std::string& folder);

// What -p names: a path (with a slash) is taken as given, a folder opened as a bundle; a bare
// name is looked for in the search folders (with or without ".so", as a file or a bundle),
// then in the current folder. Returns the name unchanged when nothing is found, so that
// loading it reports the fault; `searched` then tells where it was looked for.
std::string resolvePluginPath(const std::string& given, std::string* searched = nullptr);

// Every library in `folders` and one level of sub-folders (bundles included).
std::vector<std::string> findInstalledPlugins(const std::vector<std::string>& folders);

}  // namespace corvalen::render
