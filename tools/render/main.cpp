// corvalen-render: renders MIDI through a VST 2 plug-in into audio files.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "tools/common/child_process.h"
#include "tools/render/audio_file.h"
#include "tools/render/command_line.h"
#include "tools/render/demo_phrase.h"
#include "tools/render/midi_file.h"
#include "tools/render/midi_selection.h"
#include "tools/render/output_chain.h"
#include "tools/render/plugin_search.h"
#include "tools/render/renderer.h"
#include "tools/render/signal_stats.h"
#include "tools/render/timeline.h"
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
            std::string known;
            for (VstInt32 i = 0; i < plugin.numParams(); ++i) {
                known += (i == 0 ? "" : ", ") + std::to_string(i) + " \"" +
                         plugin.parameterName(i) + "\"";
            }
            throw UsageError("--param: the plug-in has no parameter '" + setting.nameOrIndex +
                             "'; " +
                             (known.empty() ? std::string("it has no parameters")
                                            : "its parameters are " + known));
        }
        plugin.setParameter(found, setting.value);
    }
}

// One line on stderr, redrawn at most five times a second: how far, how long, how fast, and
// how long still to go.
class ProgressLine {
public:
    explicit ProgressLine(double sampleRate)
        : sampleRate_(sampleRate), start_(std::chrono::steady_clock::now()) {}

    void update(std::int64_t done, std::int64_t expected) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastShown_ < std::chrono::milliseconds(200)) return;
        lastShown_ = now;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double rendered = static_cast<double>(done) / sampleRate_;
        const double speed = elapsed > 0.0 ? rendered / elapsed : 0.0;
        const double left = speed > 0.0
                                ? static_cast<double>(std::max<std::int64_t>(0, expected - done)) /
                                      sampleRate_ / speed
                                : 0.0;
        const int percent = expected > 0 ? static_cast<int>(100 * done / expected) : 100;
        std::fprintf(stderr, "\rrendering %3d%%  %s of music in %s, %.0fx real time, %s left   ",
                     percent, clock(rendered).c_str(), clock(elapsed).c_str(), speed,
                     clock(left).c_str());
        std::fflush(stderr);
        shown_ = true;
    }
    void finish() {
        if (shown_) std::fprintf(stderr, "\r%*s\r", 78, "");
    }

private:
    static std::string clock(double seconds) {
        const long whole = static_cast<long>(seconds);
        char text[32];
        if (whole >= 3600) {
            std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60,
                          whole % 60);
        } else {
            std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
        }
        return text;
    }

    double sampleRate_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastShown_{};
    bool shown_ = false;
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

// Corvalen computes at 44,100 Hz whatever rate the host asks for.
constexpr VstInt32 kCorvalenUniqueId = ('K' << 24) | ('q' << 16) | ('z' << 8) | 't';
constexpr int kCorvalenRate = 44100;
// Quieter than this all through, a render is taken as silence.
constexpr double kSilenceLevel = 1e-6;  // -120 dBFS

void warn(const Options& options, const std::string& text) {
    if (!options.quiet) std::fprintf(stderr, "corvalen-render: warning: %s\n", text.c_str());
}

std::string fileStem(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1)) {
        return path;
    }
    return path.substr(0, dot);
}

// The output file of one render and its container.
struct OutputChoice {
    std::string path;
    Container container = Container::kWav;
};

// Refuses an output that would overwrite what the render reads.
void checkNotAnInput(const std::string& output, const std::vector<std::string>& inputs) {
    if (output == "-") return;
    for (const std::string& input : inputs) {
        if (!input.empty() && input != "-" && sameFile(output, input)) {
            throw UsageError("the output " + output + " is the input " + input +
                             "; it would be overwritten: choose another name with -o");
        }
    }
}

OutputChoice chooseOutput(const Options& options, const std::string& midiPath,
                          const std::vector<std::string>& inputs) {
    OutputChoice choice;
    if (!options.outputPath.empty()) checkNotAnInput(options.outputPath, inputs);
    choice.container = options.type.value_or(Container::kWav);
    if (!options.outputPath.empty()) {
        choice.path = options.outputPath;
        if (choice.path != "-" && !options.type) {
            try {
                choice.container = containerForPath(choice.path);
            } catch (const OutputError& error) {
                throw UsageError(error.what());
            }
        }
        return choice;
    }
    const std::string extension = std::string(".") + containerExtension(choice.container);
    if (midiPath.empty()) {
        choice.path = std::string("corvalen-demo") + extension;
    } else if (midiPath == "-") {
        throw UsageError(
            "a MIDI file from standard input has no name to give the output: use -o FILE, or "
            "-o - for standard output");
    } else {
        choice.path = fileStem(midiPath) + extension;
    }
    return choice;
}

std::string pluginPathFor(const Options& options) {
    if (options.pluginPath.empty()) return defaultPluginPath();
    std::string searched;
    const std::string path = resolvePluginPath(options.pluginPath, &searched);
    if (!searched.empty() && access(path.c_str(), F_OK) != 0) {
        throw vsthost::LoadError(vsthost::LoadFailure::kLibraryUnloadable,
                                 "no plug-in " + options.pluginPath + " (looked in " + searched +
                                     " and the current folder)");
    }
    return path;
}

void explainSilence(const Options& options, vsthost::Plugin& plugin, const MidiSequence& played,
                    std::size_t notes, bool anySelection) {
    std::string cause;
    if (plugin.numInputs() > 0 && options.inputAudioPath.empty() && !plugin.isSynth()) {
        cause = "the plug-in is an effect (" + std::to_string(plugin.numInputs()) +
                " inputs) and had no input: feed it audio with --input FILE";
    } else if (notes == 0) {
        cause = anySelection ? "there are no notes on the chosen channels and tracks (see "
                               "--midi-info)"
                             : "the MIDI file holds no notes";
    } else {
        // Many instruments listen on channel 1 only; say where the notes are.
        std::uint16_t used = 0;
        for (const ChannelMessage& message : played.messages) {
            if ((message.status & 0xF0) == 0x90 && message.data2 != 0)
                used |= static_cast<std::uint16_t>(1u << (message.status & 0x0F));
        }
        std::string channels;
        for (int channel = 0; channel < 16; ++channel) {
            if (used & (1u << channel))
                channels += (channels.empty() ? "" : ",") + std::to_string(channel + 1);
        }
        cause = "the plug-in made no sound from " + std::to_string(notes) + " notes on channel" +
                (channels.find(',') == std::string::npos ? " " : "s ") + channels +
                ": it may listen on other channels, be missing its samples or banks, need a "
                "program (--program), or be an effect";
    }
    warn(options, "the output is silent (never above -120 dBFS): " + cause);
}

void warnAboutClipping(const Options& options, const SignalStats& stats) {
    const double peakDb = 20.0 * std::log10(stats.peak());
    char text[320];
    std::snprintf(text, sizeof text,
                  "%lld samples beyond full scale were clipped (peak %+.2f dBFS): keep them with "
                  "--format float, lower the level with --gain %.1f, or use --normalize",
                  static_cast<long long>(stats.clipped()), peakDb,
                  -std::ceil(peakDb * 10.0 + 1.0) / 10.0);
    warn(options, text);
}

int renderOne(const Options& options, const std::string& midiPath, const std::string& pluginPath) {
    const std::vector<std::string> inputs = {midiPath, options.inputAudioPath, pluginPath};
    const OutputChoice output = chooseOutput(options, midiPath, inputs);
    const SampleFormat sampleFormat = [&] {
        try {
            return checkedSampleFormat(output.container, options.format);
        } catch (const OutputError& error) {
            throw UsageError(error.what());
        }
    }();
    checkNotAnInput(output.path, inputs);

    // The sequence first: a bad MIDI file is reported without loading anything.
    MidiSequence sequence = midiPath.empty() ? demoPhrase() : readMidiFile(midiPath);
    const std::string midiName = midiPath == "-" ? "standard input" : midiPath;
    for (const std::string& warning : sequence.warnings) warn(options, midiName + ": " + warning);
    MidiSelection selection;
    selection.channels = options.channels;
    selection.tracks = options.tracks;
    try {
        sequence = selectMessages(sequence, selection);
    } catch (const MidiFileError& error) {
        throw UsageError("--track: " + midiName + ": " + error.what());
    }
    const std::size_t notes = countNotes(sequence);

    const int pluginRate = options.renderRate.value_or(options.sampleRate);
    vsthost::HostSettings settings;
    settings.sampleRate = static_cast<float>(pluginRate);
    settings.blockSize = options.blockSize;
    std::unique_ptr<vsthost::Plugin> plugin = vsthost::Plugin::load(pluginPath, settings);
    if (plugin->numOutputs() == 0) {
        throw vsthost::LoadError(vsthost::LoadFailure::kNoEffect,
                                 pluginPath + ": the effect has no outputs to render");
    }
    if (plugin->effect().uniqueID == kCorvalenUniqueId && pluginRate != kCorvalenRate) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "Corvalen computes at 44100 Hz whatever the host's rate: at %d Hz it plays "
                      "%.2f semitones sharp; add --render-rate 44100 to render at 44100 Hz and "
                      "convert to %d Hz",
                      pluginRate, 12.0 * std::log2(pluginRate / 44100.0), options.sampleRate);
        warn(options, text);
    }
    AudioData input;
    if (!options.inputAudioPath.empty()) {
        if (plugin->numInputs() == 0) {
            throw UsageError("--input: the plug-in has no inputs (it is an instrument)");
        }
        input = readAudioFile(options.inputAudioPath);
        if (input.sampleRate != pluginRate) {
            input.samples =
                Resampler::convert(input.samples, input.sampleRate, pluginRate, input.channels);
            input.sampleRate = pluginRate;
        }
    }
    const Timeline timeline = buildTimeline(sequence, pluginRate);
    applySettings(*plugin, options);

    // Only now, with everything checked, is the output created.
    OutputTarget target(output.path, options.noClobber, needsSeeking(output.container));
    if (target.replacesExistingFile()) warn(options, "replacing " + output.path);
    const bool toStdout = target.isStdout();
    const int channels = plugin->numOutputs();
    const std::string name = toStdout ? std::string("standard output") : output.path;
    AudioFileWriter writer(target.fd(), name, output.container, sampleFormat, channels,
                           options.sampleRate);
    // Normalising needs the peak before the first sample is written: the render goes to an
    // anonymous float file first, then through the gain into the output.
    std::unique_ptr<FloatSpool> spool;
    if (options.normalizeDbfs) spool = std::make_unique<FloatSpool>(channels);
    InterleavedSink& firstStop = spool ? static_cast<InterleavedSink&>(*spool) : writer;
    OutputChain chain(firstStop, channels, pluginRate, options.sampleRate,
                      std::pow(10.0, options.gainDb / 20.0), options.blockSize);
    const bool keepNaN =
        output.container != Container::kOgg && sampleFormat == SampleFormat::kFloat32;
    chain.setReplaceNaN(!keepNaN && !spool);

    TailPolicy tail;
    tail.seconds = options.tailSeconds;
    ProgressLine line(pluginRate);
    ProgressCallback progress;
    if (!options.quiet && (options.progress || isatty(STDERR_FILENO))) {
        progress = [&line](std::int64_t done, std::int64_t expected) {
            line.update(done, expected);
        };
    }
    const RenderStats rendered = renderTimeline(*plugin, timeline, options.maxEventsPerList, tail,
                                                chain, progress, input.channels ? &input : nullptr);
    chain.finish();
    line.finish();

    const SignalStats* stats = &chain.stats();
    SignalStats normalized;
    if (spool) {
        const double peak = chain.stats().peak();
        const float gain =
            peak > 0.0 ? static_cast<float>(std::pow(10.0, *options.normalizeDbfs / 20.0) / peak)
                       : 1.0f;
        std::vector<float> buffer(static_cast<std::size_t>(channels) * 65536);
        for (;;) {
            const int frames = spool->read(buffer.data(), 65536);
            if (frames == 0) break;
            const std::size_t count = static_cast<std::size_t>(frames) * channels;
            applyGain(buffer.data(), count, gain);
            if (normalized.add(buffer.data(), channels, frames) && !keepNaN)
                replaceNaN(buffer.data(), count);
            writer.write(buffer.data(), frames);
        }
        stats = &normalized;
    }
    writer.close();
    target.commit();

    if (!options.quiet) {
        std::fprintf(toStdout ? stderr : stdout, "%s: %s%s\n", name.c_str(),
                     summaryLine(*stats, options.sampleRate).c_str(),
                     rendered.tailCapped ? " (tail cut at 10 s, still sounding)" : "");
        std::fflush(stdout);
    }
    if (stats->clipped() > 0 && clipsBeyondFullScale(output.container, sampleFormat))
        warnAboutClipping(options, *stats);
    if (stats->nonFinite() == 0 && stats->peak() < kSilenceLevel)
        explainSilence(options, *plugin, sequence, notes,
                       !options.channels.empty() || !options.tracks.empty());
    return kExitOk;
}

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

int listPlugins(const std::vector<std::string>& given) {
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
    if (options.list) return listPlugins(options.midiPaths);
    if (options.midiInfo) {
        if (options.midiPaths.empty()) throw UsageError("--midi-info needs MIDI files");
        int result = kExitOk;
        for (const std::string& path : options.midiPaths) {
            try {
                const MidiSequence sequence = readMidiFile(path);
                std::fputs(describeMidi(sequence, path == "-" ? "standard input" : path).c_str(),
                           stdout);
            } catch (const std::runtime_error& error) {
                std::fprintf(stderr, "corvalen-render: %s\n", error.what());
                result = kExitMidi;
            }
        }
        return result;
    }
    const std::string pluginPath = pluginPathFor(options);
    if (options.info) {
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
    installOutputCleanup();
    if (options.midiPaths.empty()) return renderOne(options, "", pluginPath);
    // Each file is rendered by a fresh instance, exactly as if it were rendered alone. A file
    // that cannot be read does not stop the others.
    int result = kExitOk;
    for (const std::string& path : options.midiPaths) {
        try {
            renderOne(options, path, pluginPath);
        } catch (const MidiFileError& error) {
            if (options.midiPaths.size() == 1) throw;
            std::fprintf(stderr, "corvalen-render: %s\n", error.what());
            if (result == kExitOk) result = kExitMidi;
        }
    }
    return result;
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
    } catch (const InputError& error) {
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
