// The player as a JACK client: its ports (NAME:midi_in, NAME:out_1..., NAME:in_1... for
// effects), the process callback that hands each period to the PlayEngine, the latency it
// reports, the connections (made from the main thread, never from a callback), and what JACK
// tells it (period and rate changes, xruns, the server going away).
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/play/callback_times.h"
#include "tools/play/play_engine.h"

namespace corvalen::play {

class JackClient {
public:
    // Opens the client under exactly `name`, never starting a server. Throws ToolError
    // (kExitNoServer) with JACK's reason.
    explicit JackClient(const std::string& name);
    ~JackClient();
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    jack_client_t* get() const { return client_; }
    int sampleRate() const;
    int period() const;

private:
    jack_client_t* client_ = nullptr;
};

class JackPlayer {
public:
    // Registers the ports and callbacks; the engine must outlive the player. `followsSession`:
    // the plug-in's rate follows JACK's when that changes.
    JackPlayer(JackClient& client, PlayEngine& engine, int inputs, int outputs,
               bool followsSession);
    ~JackPlayer();  // deactivates
    JackPlayer(const JackPlayer&) = delete;
    JackPlayer& operator=(const JackPlayer&) = delete;

    void activate();
    void deactivate();
    // Connections as asked for; returns a warning per connection that could not be made.
    std::vector<std::string> connect(bool none, const std::vector<std::string>& outputs,
                                     const std::vector<std::string>& midi);

    bool serverGone() const { return serverGone_.load(); }
    std::string serverGoneReason() const;
    std::uint64_t xruns() const { return xruns_.load(std::memory_order_relaxed); }
    // The JACK frame of the first period the plug-in played, or -1 before it.
    std::int64_t firstFrame() const { return firstFrame_.load(); }
    float dspLoad() const;
    // JACK's period and rate as last told (they change in JACK's notification thread).
    int period() const { return period_.load(std::memory_order_relaxed); }
    double rate() const { return rate_.load(std::memory_order_relaxed); }
    // A setup change that failed (in JACK's notification thread), or empty.
    std::string setupError() const;
    // The process callback's times, in a build that takes them (CORVALEN_PLAY_CALLBACK_TIMES),
    // else null. Read them once the player is deactivated.
    const CallbackTimes* callbackTimes() const;

private:
    static int onProcess(jack_nframes_t frames, void* self);
    static int onPeriodChange(jack_nframes_t frames, void* self);
    static int onRateChange(jack_nframes_t rate, void* self);
    static void onLatency(jack_latency_callback_mode_t mode, void* self);
    static int onXrun(void* self);
    static void onShutdown(jack_status_t code, const char* reason, void* self);

    int process(jack_nframes_t frames);
    void reconfigure(int period, double rate);
    jack_latency_range_t connectedLatency(const std::vector<jack_port_t*>& ports,
                                          jack_latency_callback_mode_t mode) const;

    JackClient& client_;
    PlayEngine& engine_;
    bool followsSession_;
    std::atomic<int> period_;
    std::atomic<double> rate_;
    jack_port_t* midiIn_ = nullptr;
    std::vector<jack_port_t*> inputs_;
    std::vector<jack_port_t*> outputs_;
    std::vector<const float*> inputBuffers_;
    std::vector<float*> outputBuffers_;
    bool active_ = false;

    std::atomic<bool> serverGone_{false};
    char reason_[256] = {};
    std::atomic<std::uint64_t> xruns_{0};
    std::atomic<std::int64_t> firstFrame_{-1};
    std::atomic<bool> setupFailed_{false};
    std::string setupError_;
    CallbackTimes callbackTimes_;
};

}  // namespace corvalen::play
