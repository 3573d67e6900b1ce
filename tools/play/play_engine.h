// The player's work in each JACK period, free of JACK itself so that a test can run it on a
// thread of its own and watch every call it makes: MIDI of the period in, the plug-in (through
// the rate adapter, which passes through when the rates are equal) out, the output into the
// recording's ring.
//
// Threads. The audio thread calls begin(), addMidi() for each message, then process(). A
// new period needs nothing: periods longer than the set-up's are played in pieces of its
// length. A change of rate is a new set-up made by another thread (reconfigure()): it builds
// the new adapter, waits until the audio thread is between periods and then holds it off while
// it swaps the adapter in and tells the plug-in (suspend, new block size or rate, resume). A
// period that finds the set-up held plays silence and leaves the plug-in alone, so the audio
// thread never waits and never sees a half-built state.
//
// Real time: begin, addMidi and process allocate nothing, take no lock and make no system
// call. begin() sets flush-to-zero and denormals-are-zero on the calling thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "rate/rate_adapter.h"
#include "tools/play/midi_intake.h"
#include "tools/play/record_ring.h"
#include "vst_host/plugin.h"
#include "vst_host/plugin_source.h"

namespace corvalen::play {

struct EngineSetup {
    double sessionRate = 48000.0;  // JACK's
    double pluginRate = 44100.0;
    int period = 256;      // frames of the largest period to expect
    int maxEvents = 1024;  // MIDI messages one period may carry; more are dropped
    MidiSettings midi;
    RecordRing* ring = nullptr;  // where the output goes, or null
};

class PlayEngine {
public:
    // Sets the plug-in's rate and block size and resumes it. Throws std::invalid_argument for
    // rates or a channel count the adapter cannot take, and for an effect whose rate differs
    // from the session's (its inputs would need converting too).
    PlayEngine(vsthost::Plugin& plugin, const EngineSetup& setup);
    ~PlayEngine();  // suspends the plug-in
    PlayEngine(const PlayEngine&) = delete;
    PlayEngine& operator=(const PlayEngine&) = delete;

    // Off the audio thread: a new period or session rate (the plug-in's rate stays, unless it
    // followed the session's). Returns at once unless the rate changes.
    void reconfigure(int period, double sessionRate, bool pluginFollowsSession);

    // Audio thread. begin() returns false when the set-up is being changed: then the caller
    // plays silence and calls nothing else for this period.
    bool begin();
    void addMidi(const std::uint8_t* bytes, std::size_t size, int frame);
    // `inputs` holds the plug-in's inputs (may be null without inputs), `outputs` its outputs.
    void process(int frames, const float* const* inputs, float* const* outputs);

    // Output frames an event takes to be heard, at the session's rate.
    int latency() const { return latency_.load(std::memory_order_relaxed); }
    int notesHeld() const { return notesHeld_.load(std::memory_order_relaxed); }
    std::uint64_t framesPlayed() const { return played_.load(std::memory_order_relaxed); }
    std::uint64_t silencedPeriods() const { return silenced_.load(std::memory_order_relaxed); }
    std::uint64_t droppedEvents() const { return droppedEvents_.load(std::memory_order_relaxed); }
    double pluginRate() const { return pluginRate_; }

private:
    enum Holder : int { kNobody, kAudio, kControl };
    std::unique_ptr<rate::RateAdapter> makeAdapter(double sessionRate, int period) const;
    void install(std::unique_ptr<rate::RateAdapter> adapter);

    vsthost::Plugin& plugin_;
    double sessionRate_;
    double pluginRate_;
    int period_;
    int maxEvents_;
    MidiIntake intake_;
    RecordRing* ring_;
    std::unique_ptr<rate::RateAdapter> adapter_;
    std::unique_ptr<vsthost::PluginSource> source_;
    std::vector<rate::TimedEvent> events_;
    int eventCount_ = 0;
    std::uint64_t periodDropped_ = 0;
    std::vector<float*> inputs_;

    std::atomic<int> holder_{kNobody};
    std::atomic<int> latency_{0};
    std::atomic<int> notesHeld_{0};
    std::atomic<std::uint64_t> played_{0};
    std::atomic<std::uint64_t> silenced_{0};
    std::atomic<std::uint64_t> droppedEvents_{0};
};

}  // namespace corvalen::play
