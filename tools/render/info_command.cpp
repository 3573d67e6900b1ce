// --info: what the plug-in tells about itself.
#include <cstdio>
#include <memory>

#include "tools/render/commands.h"

namespace corvalen::render {
namespace {

const char* categoryName(VstIntPtr category) {
    static const char* const kNames[] = {"unknown",         "effect",          "synth",
                                         "analysis",        "mastering",       "spatializer",
                                         "room effect",     "surround effect", "restoration",
                                         "offline process", "shell",           "generator"};
    if (category < 0 || category >= static_cast<VstIntPtr>(sizeof kNames / sizeof kNames[0])) {
        return "not a known category";
    }
    return kNames[category];
}

void printInfo(vsthost::Plugin& plugin) {
    const AEffect& effect = plugin.effect();
    std::printf("Library:     %s (entry point %s)\n", plugin.path().c_str(),
                plugin.entryName().c_str());
    std::printf("Name:        %s\n", plugin.effectName().c_str());
    std::printf("Vendor:      %s\n", plugin.text(effGetVendorString).c_str());
    std::printf("Product:     %s\n", plugin.text(effGetProductString).c_str());
    std::printf("Version:     %ld (VST %ld)\n",
                static_cast<long>(plugin.dispatch(effGetVendorVersion)),
                static_cast<long>(plugin.dispatch(effGetVstVersion)));
    const VstIntPtr category = plugin.dispatch(effGetPlugCategory);
    std::printf("Category:    %s (%ld)%s\n", categoryName(category), static_cast<long>(category),
                plugin.isSynth() ? ", instrument" : "");
    std::printf("Unique ID:   '%s' (%ld)\n", vsthost::fourCharacterText(effect.uniqueID).c_str(),
                static_cast<long>(effect.uniqueID));
    std::printf("Inputs:      %d\nOutputs:     %d\n", plugin.numInputs(), plugin.numOutputs());
    std::printf("Processing:  %s\n", plugin.usesReplacing() ? "replacing" : "accumulating");
    std::printf("Parameters:  %d\n", plugin.numParams());
    for (VstInt32 i = 0; i < plugin.numParams(); ++i) {
        std::printf("  %3d  name \"%s\"  label \"%s\"  value \"%s\"\n", i,
                    plugin.parameterName(i).c_str(), plugin.parameterLabel(i).c_str(),
                    plugin.parameterDisplay(i).c_str());
    }
    std::printf("Programs:    %d (current %ld)\n", plugin.numPrograms(),
                static_cast<long>(plugin.dispatch(effGetProgram)));
    for (VstInt32 i = 0; i < plugin.numPrograms(); ++i) {
        std::printf("  %3d  \"%s\"\n", i, plugin.programName(i).c_str());
    }
    std::printf("Can do:\n");
    static const char* const kQuestions[] = {"receiveVstEvents",   "receiveVstMidiEvent",
                                             "receiveVstTimeInfo", "sendVstEvents",
                                             "sendVstMidiEvent",   "offline",
                                             "midiProgramNames",   "bypass"};
    for (const char* question : kQuestions) {
        const VstIntPtr answer = plugin.canDo(question);
        std::printf("  %-20s %s\n", question,
                    answer > 0   ? "yes"
                    : answer < 0 ? "no"
                                 : "does not know");
    }
}

}  // namespace

int infoCommand(const Options& options) {
    const std::string pluginPath = pluginPathFor(options);
    if (!options.midiPaths.empty() && !options.quiet) {
        std::fprintf(stderr,
                     "corvalen-render: --info shows the plug-in only; the MIDI files "
                     "given are not read (--midi-info describes them)\n");
    }
    std::unique_ptr<vsthost::Plugin> plugin = vsthost::Plugin::load(
        pluginPath,
        vsthost::HostSettings{static_cast<float>(options.sampleRate), options.blockSize});
    applySettings(*plugin, options);
    printInfo(*plugin);
    return kExitOk;
}

}  // namespace corvalen::render
