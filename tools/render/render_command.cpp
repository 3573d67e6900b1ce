// Rendering MIDI files (or the demo phrase) into audio files: the default command.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/render/audio_file.h"
#include "tools/render/commands.h"
#include "tools/render/corvalen_rate.h"
#include "tools/render/demo_phrase.h"
#include "tools/render/midi_file.h"
#include "tools/render/midi_selection.h"
#include "tools/render/output_chain.h"
#include "tools/render/renderer.h"
#include "tools/render/signal_stats.h"
#include "tools/render/timeline.h"

namespace corvalen::render {
namespace {

// Quieter than this all through, a render is taken as silence.
constexpr double kSilenceLevel = 1e-6;  // -120 dBFS

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

// The sequence a render plays: read (or the demo), its warnings shown, the selection applied.
struct Music {
    MidiSequence sequence;
    std::size_t notes = 0;
};

Music readMusic(const Options& options, const std::string& midiPath) {
    Music music;
    music.sequence = midiPath.empty() ? demoPhrase() : readMidiFile(midiPath);
    const std::string midiName = inputName(midiPath);
    for (const std::string& warning : music.sequence.warnings) {
        warn(options, midiName + ": " + warning);
    }
    MidiSelection selection;
    selection.channels = options.channels;
    selection.tracks = options.tracks;
    try {
        music.sequence = selectMessages(music.sequence, selection);
    } catch (const MidiFileError& error) {
        throw UsageError("--track: " + midiName + ": " + error.what());
    }
    music.notes = countNotes(music.sequence);
    return music;
}

std::unique_ptr<vsthost::Plugin> loadForRendering(const Options& options,
                                                  const std::string& pluginPath, int pluginRate) {
    vsthost::HostSettings settings;
    settings.sampleRate = static_cast<float>(pluginRate);
    settings.blockSize = options.blockSize;
    std::unique_ptr<vsthost::Plugin> plugin = vsthost::Plugin::load(pluginPath, settings);
    if (plugin->numOutputs() == 0) {
        throw vsthost::LoadError(vsthost::LoadFailure::kNoEffect,
                                 pluginPath + ": the effect has no outputs to render");
    }
    if (const auto warning =
            fixedRateWarning(plugin->effect().uniqueID, pluginRate, options.sampleRate)) {
        warn(options, *warning);
    }
    return plugin;
}

// --input read and brought to the plug-in's rate; empty without --input.
AudioData readInputAudio(const Options& options, const vsthost::Plugin& plugin, int pluginRate) {
    AudioData input;
    if (options.inputAudioPath.empty()) return input;
    if (plugin.numInputs() == 0) {
        throw UsageError("--input: the plug-in has no inputs (it is an instrument)");
    }
    input = readAudioFile(options.inputAudioPath);
    if (input.sampleRate != pluginRate) {
        input.samples =
            Resampler::convert(input.samples, input.sampleRate, pluginRate, input.channels);
        input.sampleRate = pluginRate;
    }
    return input;
}

// Everything a render needs once the inputs are checked.
struct RenderJob {
    const Options& options;
    OutputChoice output;
    SampleFormat sampleFormat;
    vsthost::Plugin& plugin;
    Timeline timeline;
    AudioData input;
    int pluginRate;
};

struct Rendered {
    SignalStats stats;
    bool tailCapped = false;
    std::string name;  // of the output, for messages
    bool toStdout = false;
};

RenderStats playInto(const RenderJob& job, OutputChain& chain) {
    TailPolicy tail;
    tail.seconds = job.options.tailSeconds;
    ProgressLine line(job.pluginRate);
    ProgressCallback progress;
    if (!job.options.quiet && (job.options.progress || isatty(STDERR_FILENO))) {
        progress = [&line](std::int64_t done, std::int64_t expected) {
            line.update(done, expected);
        };
    }
    const RenderStats rendered =
        renderTimeline(job.plugin, job.timeline, job.options.maxEventsPerList, tail, chain,
                       progress, job.input.channels ? &job.input : nullptr);
    chain.finish();
    line.finish();
    return rendered;
}

// Normalising needs the peak before the first sample is written: the render went to an
// anonymous float file first, and goes from there through the gain into the output.
SignalStats normalizeInto(FloatSpool& spool, double peak, double targetDbfs,
                          InterleavedSink& writer, int channels, int rate, bool keepNaN) {
    const double gain = peak > 0.0 ? std::pow(10.0, targetDbfs / 20.0) / peak : 1.0;
    constexpr int kChunk = 65536;
    OutputChain chain(writer, channels, rate, rate, gain, 1);
    chain.setReplaceNaN(!keepNaN);
    std::vector<float> buffer(static_cast<std::size_t>(channels) * kChunk);
    while (const int frames = spool.read(buffer.data(), kChunk)) {
        chain.writeInterleaved(buffer.data(), frames);
    }
    return chain.stats();
}

Rendered writeRender(const RenderJob& job) {
    const Options& options = job.options;
    // Only now, with everything checked, is the output created.
    OutputTarget target(job.output.path, options.noClobber, needsSeeking(job.output.container));
    if (target.replacesExistingFile()) warn(options, "replacing " + job.output.path);
    Rendered rendered;
    rendered.toStdout = target.isStdout();
    rendered.name = rendered.toStdout ? std::string("standard output") : job.output.path;
    const int channels = job.plugin.numOutputs();
    AudioFileWriter writer(target.fd(), rendered.name, job.output.container, job.sampleFormat,
                           channels, options.sampleRate);
    std::unique_ptr<FloatSpool> spool;
    if (options.normalizeDbfs) spool = std::make_unique<FloatSpool>(channels);
    InterleavedSink& firstStop = spool ? static_cast<InterleavedSink&>(*spool) : writer;
    OutputChain chain(firstStop, channels, job.pluginRate, options.sampleRate,
                      std::pow(10.0, options.gainDb / 20.0), options.blockSize);
    const bool keepNaN =
        job.output.container != Container::kOgg && job.sampleFormat == SampleFormat::kFloat32;
    chain.setReplaceNaN(!keepNaN && !spool);
    rendered.tailCapped = playInto(job, chain).tailCapped;
    rendered.stats = spool ? normalizeInto(*spool, chain.stats().peak(), *options.normalizeDbfs,
                                           writer, channels, options.sampleRate, keepNaN)
                           : chain.stats();
    writer.close();
    target.commit();
    return rendered;
}

void reportRender(const RenderJob& job, const Rendered& rendered, const Music& music) {
    const Options& options = job.options;
    const SignalStats& stats = rendered.stats;
    if (!options.quiet) {
        std::fprintf(rendered.toStdout ? stderr : stdout, "%s: %s%s\n", rendered.name.c_str(),
                     summaryLine(stats, options.sampleRate).c_str(),
                     rendered.tailCapped ? " (tail cut at 10 s, still sounding)" : "");
        std::fflush(stdout);
    }
    if (stats.clipped() > 0 && clipsBeyondFullScale(job.output.container, job.sampleFormat))
        warnAboutClipping(options, stats);
    if (stats.nonFinite() == 0 && stats.peak() < kSilenceLevel)
        explainSilence(options, job.plugin, music.sequence, music.notes,
                       !options.channels.empty() || !options.tracks.empty());
}

SampleFormat sampleFormatFor(const Options& options, Container container) {
    try {
        return checkedSampleFormat(container, options.format);
    } catch (const OutputError& error) {
        throw UsageError(error.what());
    }
}

void renderOne(const Options& options, const std::string& midiPath, const std::string& pluginPath) {
    const std::vector<std::string> inputs = {midiPath, options.inputAudioPath, pluginPath};
    const OutputChoice output = chooseOutput(options, midiPath, inputs);
    const SampleFormat sampleFormat = sampleFormatFor(options, output.container);
    checkNotAnInput(output.path, inputs);
    // The sequence first: a bad MIDI file is reported without loading anything.
    const Music music = readMusic(options, midiPath);
    const int pluginRate = options.renderRate.value_or(options.sampleRate);
    const std::unique_ptr<vsthost::Plugin> plugin =
        loadForRendering(options, pluginPath, pluginRate);
    AudioData input = readInputAudio(options, *plugin, pluginRate);
    RenderJob job{options,
                  output,
                  sampleFormat,
                  *plugin,
                  buildTimeline(music.sequence, pluginRate),
                  std::move(input),
                  pluginRate};
    applySettings(*plugin, options);
    reportRender(job, writeRender(job), music);
}

}  // namespace

int renderCommand(const Options& options) {
    const std::string pluginPath = pluginPathFor(options);
    installOutputCleanup();
    if (options.midiPaths.empty()) {
        renderOne(options, "", pluginPath);
        return kExitOk;
    }
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

}  // namespace corvalen::render
