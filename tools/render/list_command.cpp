// --list: the plug-ins found on the search path, each described by a child process.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/child_process.h"
#include "tools/render/commands.h"
#include "tools/render/plugin_search.h"

namespace corvalen::render {
namespace {

// One line of what a plug-in says about itself: name, vendor, kind, channels.
std::string describePlugin(const std::string& path) {
    try {
        auto plugin = vsthost::Plugin::load(path, vsthost::HostSettings{});
        std::string line = plugin->effectName();
        const std::string vendor = plugin->text(effGetVendorString);
        if (line.empty()) line = plugin->text(effGetProductString);
        return line + "\t" + vendor + "\t" + (plugin->isSynth() ? "instrument" : "effect") + "\t" +
               std::to_string(plugin->numInputs()) + " in, " +
               std::to_string(plugin->numOutputs()) + " out";
    } catch (const std::exception& error) {
        return std::string("cannot load: ") + error.what();
    }
}

// The description found in a child process, so that a plug-in that crashes or hangs while
// loading ends only that child.
std::string describeInChild(const std::string& path) {
    corvalen::tools::ChildOptions options;
    options.timeoutSeconds = 10.0;
    // The plug-in's own chatter would garble the listing.
    options.output = corvalen::tools::ChildOutput::kDiscarded;
    const corvalen::tools::ChildResult child = corvalen::tools::runInChild(
        [&](int fd) {
            const std::string line = describePlugin(path);
            corvalen::tools::writeAll(fd, line.data(), line.size());
        },
        options);
    using Kind = corvalen::tools::ChildEnding::Kind;
    switch (child.ending.kind) {
        case Kind::kNotStarted:
            return "cannot list: " + child.ending.problem;
        case Kind::kHung:
            return "did not load within 10 s";
        case Kind::kSignaled:
            return "crashed while loading (" + child.ending.signalText() + ")";
        case Kind::kExited:
            break;
    }
    return child.answer.empty() ? "ended while loading" : child.answer;
}

}  // namespace

int listCommand(const Options& options) {
    const std::vector<std::string>& given = options.midiPaths;
    const std::vector<std::string> folders = given.empty() ? pluginSearchFolders() : given;
    std::string searched;
    for (const std::string& folder : folders) searched += " " + folder;
    std::printf("Search folders:%s\n", searched.empty() ? " none exist" : searched.c_str());
    int count = 0;
    for (const std::string& path : findInstalledPlugins(folders)) {
        std::string line = describeInChild(path);
        for (char& c : line) {
            if (c == '\t') c = '|';
            if (c == '\n') c = ' ';
        }
        std::printf("%s  |%s\n", path.c_str(), line.c_str());
        ++count;
    }
    std::printf("%d plug-in libraries (path | name | vendor | kind | channels)\n", count);
    return kExitOk;
}

}  // namespace corvalen::render
