// corvalen-play: plays a VST 2 plug-in live from JACK MIDI. The plug-in is opened, set up and
// resumed before the client is activated; the main thread then only watches (signals, the
// server, the status line) until it is asked to stop.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tools/play/jack_player.h"
#include "tools/play/play_engine.h"
#include "tools/play/play_options.h"
#include "tools/play/recorder.h"
#include "tools/play/status_line.h"
#include "tools/render/audio_file.h"
#include "tools/render/corvalen_rate.h"
#include "tools/render/exit_code.h"
#include "tools/render/plugin_choice.h"
#include "vst_host/plugin.h"

namespace {

using namespace corvalen;
using namespace corvalen::play;

volatile std::sig_atomic_t g_stopSignal = 0;

void setStopSignalsBlocked(bool blocked) {
    sigset_t set;
    sigemptyset(&set);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signalNumber);
    pthread_sigmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

extern "C" void askToStop(int signalNumber) {
    g_stopSignal = signalNumber;
}

// After the output cleanup's handlers: SIGINT, SIGTERM and SIGHUP end the performance in good
// order instead (the recording finished, not removed); crashes still remove it.
// The signals are blocked until the threads of JACK and the recording exist, which inherit the
// block, so they reach the main thread alone.
void installStopHandlers() {
    struct sigaction action = {};
    action.sa_handler = askToStop;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaction(signalNumber, &action, nullptr);
    setStopSignalsBlocked(true);
}

void say(const Options& options, const std::string& text) {
    if (!options.quiet) std::fprintf(stderr, "corvalen-play: %s\n", text.c_str());
}

MidiSettings midiSettings(const Options& options, vsthost::Plugin& plugin) {
    MidiSettings settings;
    if (!options.channels.empty()) {
        settings.channelMask = 0;
        for (int channel : options.channels) settings.channelMask |= 1u << (channel - 1);
    }
    for (const ControllerMapping& mapping : options.controllers) {
        settings.controllerParameter[static_cast<std::size_t>(mapping.controller)] =
            render::parameterIndex(plugin, mapping.parameter, "--cc");
    }
    return settings;
}

// Waits until told to stop or the server goes; draws the status line meanwhile.
int watch(const Options& options, JackPlayer& player, PlayEngine& engine, Recorder* recorder,
          int sampleRate) {
    const bool statusShown = !options.quiet && isatty(STDERR_FILENO);
    auto lastDrawn = std::chrono::steady_clock::now();
    std::uint64_t reportedDrops = 0;
    int shownPeriod = player.period();
    double shownRate = player.rate();
    for (;;) {
        if (g_stopSignal) break;
        if (player.serverGone()) {
            if (statusShown) std::fputs("\n", stderr);
            std::fprintf(stderr, "corvalen-play: the JACK server stopped (%s); stopping\n",
                         player.serverGoneReason().c_str());
            return kExitServerGone;
        }
        const std::string setupError = player.setupError();
        if (!setupError.empty()) {
            std::fprintf(stderr, "corvalen-play: cannot follow JACK's new set-up: %s\n",
                         setupError.c_str());
            return render::kExitRenderFailed;
        }
        if (player.period() != shownPeriod || player.rate() != shownRate) {
            shownPeriod = player.period();
            shownRate = player.rate();
            char text[160];
            std::snprintf(text, sizeof text,
                          "JACK now runs at %.0f Hz in %d-frame periods; latency %d frames",
                          shownRate, shownPeriod, engine.latency());
            if (statusShown) std::fputs("\n", stderr);  // below the status line, not over it
            say(options, text);
        }
        const std::uint64_t drops = recorder ? recorder->ring().droppedFrames() : 0;
        if (drops > reportedDrops && !statusShown) {
            say(options, "the recording dropped " + std::to_string(drops) +
                             " frames: the disk is slower than real time");
            reportedDrops = drops;
        }
        const auto now = std::chrono::steady_clock::now();
        if (statusShown && now - lastDrawn >= std::chrono::milliseconds(250)) {
            StatusFigures figures;
            figures.dspLoad = player.dspLoad();
            figures.xruns = player.xruns();
            figures.notesHeld = engine.notesHeld();
            figures.latencyFrames = engine.latency();
            figures.sampleRate = sampleRate;
            figures.droppedFrames = drops;
            std::fprintf(stderr, "\r%-78s", statusLine(figures).c_str());
            std::fflush(stderr);
            lastDrawn = now;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (statusShown) std::fputs("\n", stderr);
    return render::kExitOk;
}

void announce(const Options& options, vsthost::Plugin& plugin, JackPlayer& player,
              const PlayEngine& engine, int sampleRate, int period) {
    if (options.quiet) return;
    // The first period tells where the plug-in's timeline starts.
    for (int i = 0; i < 100 && player.firstFrame() < 0 && !player.serverGone(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    char text[512];
    std::snprintf(text, sizeof text,
                  "playing %s as %s: JACK at %d Hz in %d-frame periods, the plug-in at %.0f Hz, "
                  "latency %d frames (%.2f ms); first period at frame %lld",
                  plugin.effectName().c_str(), options.clientName.c_str(), sampleRate, period,
                  engine.pluginRate(), engine.latency(), 1000.0 * engine.latency() / sampleRate,
                  static_cast<long long>(player.firstFrame()));
    say(options, text);
}

int perform(const Options& options) {
    render::installOutputCleanup();
    installStopHandlers();
    JackClient client(options.clientName);
    const int sampleRate = client.sampleRate();
    const int period = client.period();

    vsthost::HostSettings settings;
    settings.sampleRate = static_cast<float>(sampleRate);
    settings.blockSize = period;
    settings.live = true;
    auto plugin = vsthost::Plugin::load(render::pluginPathFor(options.pluginPath), settings);
    render::applySettings(*plugin, options.program, options.parameters);
    const std::optional<int> fixedRate = render::fixedRateOf(plugin->effect().uniqueID);
    const bool followsSession = !options.pluginRate && !fixedRate;
    if (plugin->numOutputs() < 1 || plugin->numOutputs() > rate::RateAdapter::kMaxChannels) {
        throw render::ToolError(render::kExitNoEffect, "the plug-in has " +
                                                           std::to_string(plugin->numOutputs()) +
                                                           " outputs; the player takes 1 to 64");
    }

    std::unique_ptr<Recorder> recorder;
    if (!options.recordPath.empty()) {
        recorder = std::make_unique<Recorder>(options.recordPath, options.format,
                                              plugin->numOutputs(), sampleRate);
    }
    EngineSetup setup;
    setup.sessionRate = sampleRate;
    setup.pluginRate = options.pluginRate.value_or(fixedRate.value_or(sampleRate));
    setup.period = period;
    setup.midi = midiSettings(options, *plugin);
    setup.ring = recorder ? &recorder->ring() : nullptr;
    std::unique_ptr<PlayEngine> engine;
    try {
        engine = std::make_unique<PlayEngine>(*plugin, setup);
    } catch (const std::invalid_argument& error) {
        throw UsageError(error.what());
    }

    auto player = std::make_unique<JackPlayer>(client, *engine, plugin->numInputs(),
                                               plugin->numOutputs(), followsSession);
    if (recorder) recorder->start();
    player->activate();
    for (const std::string& warning :
         player->connect(options.noConnect, options.connectOut, options.connectMidi)) {
        say(options, "warning: " + warning);
    }
    setStopSignalsBlocked(false);
    announce(options, *plugin, *player, *engine, sampleRate, period);

    const int code = watch(options, *player, *engine, recorder.get(), sampleRate);
    // Deactivate, close the plug-in, finish the recording.
    player->deactivate();
    // Asked for when the player was built, so shown even with -q.
    if (const CallbackTimes* times = player->callbackTimes()) {
        std::fprintf(stderr, "corvalen-play: %s\n", times->summary().c_str());
    }
    const std::uint64_t dropped = recorder ? recorder->ring().droppedFrames() : 0;
    if (engine->silencedPeriods() > 0) {
        say(options, std::to_string(engine->silencedPeriods()) +
                         " periods played silence while the plug-in was set up for a new rate");
    }
    player.reset();
    engine.reset();
    plugin.reset();
    if (recorder) {
        recorder->finish();
        say(options, "recorded " + std::to_string(recorder->framesWritten()) + " frames to " +
                         recorder->path() +
                         (dropped ? " (" + std::to_string(dropped) + " frames dropped)" : ""));
    }
    return code;
}

int report(const char* message, int code) {
    std::fprintf(stderr, "corvalen-play: %s\n", message);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options options = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::fputs(usageText().c_str(), stdout);
            return render::kExitOk;
        }
        if (options.version) {
            std::printf("corvalen-play %s\n", CORVALEN_VERSION);
            return render::kExitOk;
        }
        return perform(options);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "corvalen-play: %s\n(corvalen-play --help shows the options)\n",
                     error.what());
        return render::kExitUsage;
    } catch (const render::ToolError& error) {
        return report(error.what(), error.exitCode());
    } catch (const vsthost::LoadError& error) {
        return report(error.what(), render::exitCodeFor(error.failure()));
    } catch (const std::exception& error) {
        return report(error.what(), render::kExitRenderFailed);
    }
}
