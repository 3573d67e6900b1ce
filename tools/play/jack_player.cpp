#include "tools/play/jack_player.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "tools/play/play_options.h"
#include "tools/render/exit_code.h"

namespace corvalen::play {
namespace {

std::string statusText(jack_status_t status) {
    if (status & JackServerFailed) return "no JACK server is running (start one, or PipeWire)";
    if (status & JackNameNotUnique) return "a JACK client of that name already runs: choose -n";
    if (status & JackVersionError) return "the JACK server speaks another protocol version";
    return "JACK refused the client (status " + std::to_string(static_cast<int>(status)) + ")";
}

// The ports of a jack_get_ports answer, which it allocates.
std::vector<std::string> portList(const char** ports) {
    std::vector<std::string> names;
    for (const char** port = ports; port && *port; ++port) names.emplace_back(*port);
    if (ports) jack_free(ports);
    return names;
}

void quietly(const char*) {}

}  // namespace

JackClient::JackClient(const std::string& name) {
    // libjack prints lines of its own when no server answers; the status tells it once, clearly.
    // Null afterwards restores libjack's own printing.
    jack_set_error_function(quietly);
    jack_set_info_function(quietly);
    jack_status_t status{};
    client_ = jack_client_open(
        name.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName), &status);
    jack_set_error_function(nullptr);
    jack_set_info_function(nullptr);
    if (!client_) {
        throw render::ToolError(static_cast<render::ExitCode>(kExitNoServer),
                                "cannot open JACK client '" + name + "': " + statusText(status));
    }
}

JackClient::~JackClient() {
    jack_client_close(client_);
}

int JackClient::sampleRate() const {
    return static_cast<int>(jack_get_sample_rate(client_));
}

int JackClient::period() const {
    return static_cast<int>(jack_get_buffer_size(client_));
}

JackPlayer::JackPlayer(JackClient& client, PlayEngine& engine, int inputs, int outputs,
                       bool followsSession)
    : client_(client),
      engine_(engine),
      followsSession_(followsSession),
      period_(client.period()),
      rate_(client.sampleRate()),
      inputBuffers_(static_cast<std::size_t>(inputs) + 1, nullptr),
      outputBuffers_(static_cast<std::size_t>(outputs), nullptr) {
    jack_client_t* c = client_.get();
    auto reg = [&](const std::string& name, const char* type, unsigned long flags) {
        jack_port_t* port = jack_port_register(c, name.c_str(), type, flags, 0);
        if (!port) throw std::runtime_error("cannot register the JACK port " + name);
        return port;
    };
    midiIn_ = reg("midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    for (int i = 1; i <= inputs; ++i) {
        inputs_.push_back(reg("in_" + std::to_string(i), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput));
    }
    for (int i = 1; i <= outputs; ++i) {
        outputs_.push_back(
            reg("out_" + std::to_string(i), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput));
    }
    jack_set_process_callback(c, onProcess, this);
    jack_set_buffer_size_callback(c, onPeriodChange, this);
    jack_set_sample_rate_callback(c, onRateChange, this);
    jack_set_latency_callback(c, onLatency, this);
    jack_set_xrun_callback(c, onXrun, this);
    jack_on_info_shutdown(c, onShutdown, this);
}

JackPlayer::~JackPlayer() {
    deactivate();
}

void JackPlayer::activate() {
    if (jack_activate(client_.get()) != 0) {
        throw render::ToolError(static_cast<render::ExitCode>(kExitNoServer),
                                "the JACK server refused to activate the client");
    }
    active_ = true;
}

void JackPlayer::deactivate() {
    if (active_ && !serverGone_) jack_deactivate(client_.get());
    active_ = false;
}

#ifdef CORVALEN_PLAY_CALLBACK_TIMES
constexpr bool kTimesCallbacks = true;
#else
constexpr bool kTimesCallbacks = false;
#endif

int JackPlayer::onProcess(jack_nframes_t frames, void* self) {
    auto* player = static_cast<JackPlayer*>(self);
    if constexpr (kTimesCallbacks) {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point start = Clock::now();
        const int result = player->process(frames);
        player->callbackTimes_.add(
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
        return result;
    }
    return player->process(frames);
}

const CallbackTimes* JackPlayer::callbackTimes() const {
    return kTimesCallbacks ? &callbackTimes_ : nullptr;
}

// Real time: JACK's buffer and MIDI calls read shared memory; the engine allocates nothing.
int JackPlayer::process(jack_nframes_t frames) {
    for (std::size_t c = 0; c < outputs_.size(); ++c) {
        outputBuffers_[c] = static_cast<float*>(jack_port_get_buffer(outputs_[c], frames));
    }
    const int count = static_cast<int>(frames);
    if (!engine_.begin()) {
        for (float* buffer : outputBuffers_) std::fill(buffer, buffer + count, 0.0f);
        return 0;
    }
    void* midi = jack_port_get_buffer(midiIn_, frames);
    const jack_nframes_t events = jack_midi_get_event_count(midi);
    for (jack_nframes_t i = 0; i < events; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, midi, i) == 0) {
            engine_.addMidi(event.buffer, event.size, static_cast<int>(event.time));
        }
    }
    for (std::size_t c = 0; c < inputs_.size(); ++c) {
        inputBuffers_[c] = static_cast<const float*>(jack_port_get_buffer(inputs_[c], frames));
    }
    if (firstFrame_.load(std::memory_order_relaxed) < 0) {
        firstFrame_.store(jack_last_frame_time(client_.get()));
    }
    engine_.process(count, inputBuffers_.data(), outputBuffers_.data());
    return 0;
}

int JackPlayer::onPeriodChange(jack_nframes_t frames, void* self) {
    auto* player = static_cast<JackPlayer*>(self);
    player->reconfigure(static_cast<int>(frames), player->rate_.load());
    return 0;
}

int JackPlayer::onRateChange(jack_nframes_t rate, void* self) {
    auto* player = static_cast<JackPlayer*>(self);
    player->reconfigure(player->period_.load(), rate);
    return 0;
}

// JACK's notification thread, never the process callback.
void JackPlayer::reconfigure(int period, double rate) {
    if (period == period_ && rate == rate_) return;
    try {
        engine_.reconfigure(period, rate, followsSession_);
        period_ = period;
        rate_ = rate;
    } catch (const std::exception& error) {
        if (!setupFailed_) setupError_ = error.what();
        setupFailed_ = true;
    }
}

std::string JackPlayer::setupError() const {
    return setupFailed_ ? setupError_ : std::string();
}

// The largest latency, in `mode`, of the ports connected to `ports`.
jack_latency_range_t JackPlayer::connectedLatency(const std::vector<jack_port_t*>& ports,
                                                  jack_latency_callback_mode_t mode) const {
    jack_latency_range_t total{0, 0};
    for (jack_port_t* port : ports) {
        for (const std::string& name :
             portList(jack_port_get_all_connections(client_.get(), port))) {
            jack_port_t* other = jack_port_by_name(client_.get(), name.c_str());
            if (!other) continue;
            jack_latency_range_t range;
            jack_port_get_latency_range(other, mode, &range);
            total.min = std::max(total.min, range.min);
            total.max = std::max(total.max, range.max);
        }
    }
    return total;
}

// Playback: what follows the outputs, plus the player's own latency, on every port. Capture:
// what precedes the inputs (MIDI and audio), plus the player's latency, on the outputs.
void JackPlayer::onLatency(jack_latency_callback_mode_t mode, void* self) {
    auto* player = static_cast<JackPlayer*>(self);
    const auto own = static_cast<jack_nframes_t>(player->engine_.latency());
    if (mode == JackPlaybackLatency) {
        jack_latency_range_t range = player->connectedLatency(player->outputs_, mode);
        range.min += own;
        range.max += own;
        for (jack_port_t* port : player->outputs_) jack_port_set_latency_range(port, mode, &range);
        jack_port_set_latency_range(player->midiIn_, mode, &range);
        for (jack_port_t* port : player->inputs_) jack_port_set_latency_range(port, mode, &range);
    } else {
        std::vector<jack_port_t*> sources = player->inputs_;
        sources.push_back(player->midiIn_);
        jack_latency_range_t range = player->connectedLatency(sources, mode);
        range.min += own;
        range.max += own;
        for (jack_port_t* port : player->outputs_) jack_port_set_latency_range(port, mode, &range);
    }
}

int JackPlayer::onXrun(void* self) {
    static_cast<JackPlayer*>(self)->xruns_.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

void JackPlayer::onShutdown(jack_status_t, const char* reason, void* self) {
    auto* player = static_cast<JackPlayer*>(self);
    std::strncpy(player->reason_, reason ? reason : "", sizeof player->reason_ - 1);
    player->serverGone_.store(true);
}

std::string JackPlayer::serverGoneReason() const {
    return serverGone_ ? std::string(reason_) : std::string();
}

float JackPlayer::dspLoad() const {
    return jack_cpu_load(client_.get());
}

std::vector<std::string> JackPlayer::connect(bool none, const std::vector<std::string>& outputs,
                                             const std::vector<std::string>& midi) {
    std::vector<std::string> warnings;
    if (none) return warnings;
    jack_client_t* c = client_.get();
    auto join = [&](const std::string& from, const std::string& to) {
        const int result = jack_connect(c, from.c_str(), to.c_str());
        if (result != 0 && result != EEXIST)
            warnings.push_back("cannot connect " + from + " to " + to);
    };
    std::vector<std::string> playback = outputs;
    if (playback.empty()) {
        playback = portList(jack_get_ports(c, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                           JackPortIsPhysical | JackPortIsInput));
        if (playback.size() > outputs_.size()) playback.resize(outputs_.size());
    }
    for (std::size_t i = 0; i < playback.size() && !outputs_.empty(); ++i) {
        join(jack_port_name(outputs_[i % outputs_.size()]), playback[i]);
    }
    const std::vector<std::string> capture =
        midi.empty() ? portList(jack_get_ports(c, nullptr, JACK_DEFAULT_MIDI_TYPE,
                                               JackPortIsPhysical | JackPortIsOutput))
                     : midi;
    for (const std::string& port : capture) join(port, jack_port_name(midiIn_));
    return warnings;
}

}  // namespace corvalen::play
