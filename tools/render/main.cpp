// corvalen-render: renders MIDI through a VST 2 plug-in into a WAV file.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "tools/render/command_line.h"
#include "tools/render/demo_phrase.h"
#include "tools/render/midi_file.h"
#include "tools/render/renderer.h"
#include "tools/render/signal_stats.h"
#include "tools/render/timeline.h"
#include "tools/render/wav_writer.h"
#include "tools/validate/validator.h"
#include "vst_host/plugin.h"

namespace {

using namespace corvalen::render;
namespace vsthost = corvalen::vsthost;

// The plug-in built together with this tool, relative to the tool's folder.
#ifndef CORVALEN_PLUGIN_RELATIVE_PATH
#define CORVALEN_PLUGIN_RELATIVE_PATH "../synth/Corvalen.so"
#endif
// The installed plug-in: relative to the installed tool's folder, or absolute.
#ifndef CORVALEN_PLUGIN_INSTALLED_PATH
#define CORVALEN_PLUGIN_INSTALLED_PATH "../lib/vst/Corvalen.so"
#endif

std::string executableFolder() {
    char path[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    std::string folder(path, static_cast<std::size_t>(length));
    const std::size_t slash = folder.rfind('/');
    return slash == std::string::npos ? "." : folder.substr(0, slash);
}

std::string defaultPluginPath() {
    const std::string folder = executableFolder();
    const std::string candidates[] = {
        folder + "/" + CORVALEN_PLUGIN_RELATIVE_PATH,
        folder + "/Corvalen.so",
        (CORVALEN_PLUGIN_INSTALLED_PATH[0] == '/' ? "" : folder + "/") +
            CORVALEN_PLUGIN_INSTALLED_PATH,
    };
    for (const std::string& candidate : candidates) {
        if (access(candidate.c_str(), R_OK) == 0) return candidate;
    }
    return candidates[0];
}

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

std::string fourCharacters(VstInt32 code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((static_cast<std::uint32_t>(code) >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
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
    std::printf("Unique ID:   '%s' (%ld)\n", fourCharacters(effect.uniqueID).c_str(),
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

void applySettings(vsthost::Plugin& plugin, const Options& options) {
    if (options.program) {
        if (*options.program >= plugin.numPrograms()) {
            throw UsageError("--program " + std::to_string(*options.program) +
                             ": the plug-in has " + std::to_string(plugin.numPrograms()) +
                             " programs (0 to " + std::to_string(plugin.numPrograms() - 1) + ")");
        }
        plugin.setProgram(*options.program);
    }
    for (const ParameterSetting& setting : options.parameters) {
        const std::string wanted = normalizedName(setting.nameOrIndex);
        VstInt32 found = -1;
        for (VstInt32 i = 0; i < plugin.numParams() && found < 0; ++i) {
            if (normalizedName(plugin.parameterName(i)) == wanted) found = i;
        }
        if (found < 0 && !wanted.empty() &&
            wanted.find_first_not_of("0123456789") == std::string::npos && wanted.size() < 9) {
            const VstInt32 index = std::stoi(wanted);
            if (index < plugin.numParams()) found = index;
        }
        if (found < 0) {
            throw UsageError("--param: the plug-in has no parameter '" + setting.nameOrIndex +
                             "' (see --info)");
        }
        plugin.setParameter(found, setting.value);
    }
}

// Redraws one line on the terminal when the percentage changes.
class ProgressBar {
public:
    void update(std::int64_t done, std::int64_t expected) {
        const int percent = expected > 0 ? static_cast<int>(100 * done / expected) : 100;
        if (percent == shown_) return;
        shown_ = percent;
        constexpr int kWidth = 40;
        char bar[kWidth + 1];
        const int filled = percent * kWidth / 100;
        for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
        bar[kWidth] = '\0';
        std::fprintf(stderr, "\rrendering [%s] %3d%%", bar, percent);
        std::fflush(stderr);
    }
    void finish() {
        if (shown_ >= 0) std::fprintf(stderr, "\r%*s\r", 60, "");
    }

private:
    int shown_ = -1;
};

class BothSinks : public AudioSink {
public:
    BothSinks(AudioSink& first, AudioSink& second) : first_(first), second_(second) {}
    void write(const float* const* channels, int channelCount, int frames) override {
        first_.write(channels, channelCount, frames);
        second_.write(channels, channelCount, frames);
    }

private:
    AudioSink& first_;
    AudioSink& second_;
};

int validatePlugin(const Options& options) {
    for (const auto& [names, option] : {std::pair(&options.checks, "--check"),
                                        std::pair(&options.expectedFailures, "--expect-fail")}) {
        const std::string problem = corvalen::validate::unknownCheckMessage(*names, option);
        if (!problem.empty()) throw UsageError(problem);
    }
    corvalen::validate::ValidationOptions validation;
    validation.pluginPath = options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath;
    validation.only = options.checks;
    validation.expectedFailures = options.expectedFailures;
    validation.format = options.report == "json" ? corvalen::validate::ReportFormat::kJson
                                                 : corvalen::validate::ReportFormat::kText;
    if (access(validation.pluginPath.c_str(), R_OK) != 0) {
        throw vsthost::LoadError(vsthost::LoadFailure::kLibraryUnloadable,
                                 "cannot read plug-in library " + validation.pluginPath);
    }
    return corvalen::validate::runValidation(validation, stdout);
}

int run(const Options& options) {
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return kExitOk;
    }
    if (options.version) {
        std::printf("corvalen-render %s\n", CORVALEN_VERSION);
        return kExitOk;
    }
    if (options.listChecks) {
        corvalen::validate::listChecks(stdout);
        return kExitOk;
    }
    if (options.validate) return validatePlugin(options);
    // The sequence first: a bad MIDI file is reported without loading anything.
    MidiSequence sequence;
    if (!options.info)
        sequence = options.midiPath.empty() ? demoPhrase() : readMidiFile(options.midiPath);

    vsthost::HostSettings settings;
    settings.sampleRate = static_cast<float>(options.sampleRate);
    settings.blockSize = options.blockSize;
    const std::string pluginPath =
        options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath;
    std::unique_ptr<vsthost::Plugin> plugin = vsthost::Plugin::load(pluginPath, settings);
    if (options.info) {
        applySettings(*plugin, options);
        printInfo(*plugin);
        return kExitOk;
    }
    if (plugin->numOutputs() == 0) {
        throw vsthost::LoadError(vsthost::LoadFailure::kNoEffect,
                                 pluginPath + ": the effect has no outputs to render");
    }
    const Timeline timeline = buildTimeline(sequence, options.sampleRate);
    applySettings(*plugin, options);

    WavWriter writer(options.outputPath, plugin->numOutputs(), options.sampleRate, options.format,
                     options.blockSize);
    SignalStats stats;
    BothSinks sinks(writer, stats);
    TailPolicy tail;
    tail.seconds = options.tailSeconds;

    ProgressBar bar;
    ProgressCallback progress;
    if (!options.quiet && isatty(STDERR_FILENO)) {
        progress = [&bar](std::int64_t done, std::int64_t expected) { bar.update(done, expected); };
    }
    const RenderStats rendered =
        renderTimeline(*plugin, timeline, options.maxEventsPerList, tail, sinks, progress);
    bar.finish();
    writer.close();
    if (!options.quiet) {
        std::printf("%s: %s%s\n", options.outputPath.c_str(),
                    summaryLine(stats, options.sampleRate).c_str(),
                    rendered.tailCapped ? " (tail cut at 10 s, still sounding)" : "");
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options options = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        return run(options);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "corvalen-render: %s\n(corvalen-render --help shows the options)\n",
                     error.what());
        return kExitUsage;
    } catch (const vsthost::LoadError& error) {
        std::fprintf(stderr, "corvalen-render: %s\n", error.what());
        switch (error.failure()) {
            case vsthost::LoadFailure::kLibraryUnloadable:
                return kExitLibrary;
            case vsthost::LoadFailure::kNoEntryPoint:
                return kExitNoEntryPoint;
            case vsthost::LoadFailure::kNoEffect:
                return kExitNoEffect;
        }
        return kExitRenderFailed;
    } catch (const MidiFileError& error) {
        std::fprintf(stderr, "corvalen-render: %s\n", error.what());
        return kExitMidi;
    } catch (const TimelineError& error) {
        std::fprintf(stderr, "corvalen-render: %s\n", error.what());
        return kExitMidi;
    } catch (const OutputError& error) {
        std::fprintf(stderr, "corvalen-render: %s\n", error.what());
        return kExitOutput;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "corvalen-render: %s\n", error.what());
        return kExitRenderFailed;
    }
}
