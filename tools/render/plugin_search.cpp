#include "tools/render/plugin_search.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

namespace corvalen::render {
namespace {

bool isFolder(const std::string& path) {
    struct stat info = {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isFile(const std::string& path) {
    struct stat info = {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string baseName(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file or bundle folder at `path`, as a library path; empty when there is none.
std::string libraryAt(const std::string& path) {
    if (isFile(path)) return path;
    if (isFolder(path)) return libraryInBundle(path);
    return "";
}

}  // namespace

std::vector<std::string> pluginSearchFolders() {
    std::vector<std::string> candidates;
    for (const char* variable : {"VST_PATH", "LXVST_PATH"}) {
        const char* value = std::getenv(variable);
        if (!value) continue;
        std::string list = value;
        std::size_t start = 0;
        while (start <= list.size()) {
            const std::size_t colon = std::min(list.find(':', start), list.size());
            if (colon > start) candidates.push_back(list.substr(start, colon - start));
            start = colon + 1;
        }
    }
    if (const char* home = std::getenv("HOME")) {
        candidates.push_back(std::string(home) + "/.vst");
        candidates.push_back(std::string(home) + "/.lxvst");
    }
    for (const char* folder : {"/usr/local/lib/vst", "/usr/lib/vst", "/usr/lib/lxvst"})
        candidates.push_back(folder);
    std::vector<std::string> folders;
    for (std::string& folder : candidates) {
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        if (isFolder(folder) && std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    }
    return folders;
}

std::string libraryInBundle(const std::string& folder) {
    std::string name = baseName(folder);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    const std::string named = folder + "/" + name + ".so";
    if (isFile(named)) return named;
    std::string only;
    for (const std::string& entry : folderEntries(folder)) {
        if (!endsWith(entry, ".so") || !isFile(folder + "/" + entry)) continue;
        if (!only.empty()) return "";  // several libraries: which one is meant is not clear
        only = folder + "/" + entry;
    }
    return only;
}

std::string resolvePluginPath(const std::string& given, std::string* searched) {
    if (given.find('/') != std::string::npos) {
        const std::string library = isFolder(given) ? libraryInBundle(given) : "";
        return library.empty() ? given : library;
    }
    std::vector<std::string> names = {given};
    if (!endsWith(given, ".so")) {
        names.push_back(given + ".so");
        names.push_back(given + "-vst.so");
        names.push_back(given + ".vst");
    }
    const std::vector<std::string> folders = pluginSearchFolders();
    for (const std::string& folder : folders) {
        for (const std::string& name : names) {
            const std::string library = libraryAt(folder + "/" + name);
            if (!library.empty()) return library;
        }
        // Suites keep their libraries one folder down (e.g. /usr/lib/vst/lsp-plugins-vst/).
        for (const std::string& entry : folderEntries(folder)) {
            const std::string sub = folder + "/" + entry;
            if (!isFolder(sub) || endsWith(entry, ".vst")) continue;
            for (const std::string& name : names) {
                const std::string library = libraryAt(sub + "/" + name);
                if (!library.empty()) return library;
            }
        }
    }
    const std::string here = libraryAt(given);
    if (!here.empty()) return isFile(given) ? "./" + given : here;
    if (searched) {
        std::string list;
        for (const std::string& folder : folders) list += (list.empty() ? "" : ", ") + folder;
        *searched = list.empty() ? "no search folder exists" : list;
    }
    return given;
}

std::vector<std::string> findInstalledPlugins(const std::vector<std::string>& folders) {
    std::vector<std::string> libraries;
    auto add = [&libraries](const std::string& library) {
        if (!library.empty() &&
            std::find(libraries.begin(), libraries.end(), library) == libraries.end())
            libraries.push_back(library);
    };
    for (const std::string& folder : folders) {
        for (const std::string& entry : folderEntries(folder)) {
            const std::string path = folder + "/" + entry;
            if (endsWith(entry, ".so") && isFile(path)) {
                add(path);
            } else if (isFolder(path)) {
                if (endsWith(entry, ".vst")) {
                    add(libraryInBundle(path));
                    continue;
                }
                for (const std::string& inner : folderEntries(path)) {
                    const std::string innerPath = path + "/" + inner;
                    if (endsWith(inner, ".so") && isFile(innerPath)) add(innerPath);
                    if (endsWith(inner, ".vst") && isFolder(innerPath))
                        add(libraryInBundle(innerPath));
                }
            }
        }
    }
    return libraries;
}

}  // namespace corvalen::render
