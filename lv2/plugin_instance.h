#pragma once

#include <lv2/atom/atom.h>

#include <cstdint>
#include <memory>

#include "lv2/engine_source.h"
#include "lv2/ports.h"
#include "rate/rate_adapter.h"
#include "synth/engine.h"

namespace corvalen::lv2 {

// One instance of the LV2 plug-in: the engine behind its ports.
//
// run() takes the changed control ports first (they act at the start of the run), then the MIDI
// events of the run, and renders the run through the rate adapter (rate/rate_adapter.h): at
// 44,100 Hz it passes the engine's samples through bit for bit with no latency; at any other
// rate the engine still computes at 44,100 Hz and the adapter converts, with the constant
// latency the `latency` port reports. The adapter also orders the events (frames clamped into
// the run, sorted, equal frames in the host's order; a run of 0 frames hands its events to the
// next run's first frame). Everything is allocated at instantiation; run() and connect()
// allocate nothing, take no lock and make no system call.
class PluginInstance {
public:
    // The most MIDI events one run takes; past that, each further event replaces the last one
    // kept, so the newest event (a release, often) is never lost.
    static constexpr int kMaxEvents = 1024;

    static constexpr double kEngineRate = 44100.0;
    // Runs longer than this are rendered by the adapter in pieces of it.
    static constexpr int kMaxBlock = 4096;

    // `midiEventType` is midi:MidiEvent as the host's urid:map gave it. Throws
    // std::invalid_argument for a rate outside the adapter's 8,000 to 384,000 Hz.
    PluginInstance(double sampleRate, std::uint32_t midiEventType);

    void connect(std::uint32_t port, void* data);
    // After a deactivation that followed runs, the instance starts again as a new one would.
    void activate();
    void run(std::uint32_t sampleCount);

private:
    void takeControls();
    int takeMidi();

    std::unique_ptr<CorvalenEngine> engine;
    std::unique_ptr<EngineSource> source;
    std::unique_ptr<rate::RateAdapter> adapter;
    std::uint32_t midiEventType;
    bool ranSinceActivation = false;

    const LV2_Atom_Sequence* midiIn = nullptr;
    float* outputs[2] = {nullptr, nullptr};
    const float* controls[kParameterCount] = {};
    float* latency = nullptr;

    // The control values last handed to the engine, as bits (so a NaN compares equal to
    // itself); each port is handed on at the first run that finds it connected.
    std::uint32_t sentControlBits[kParameterCount] = {};
    bool controlSent[kParameterCount] = {};

    std::unique_ptr<rate::TimedEvent[]> events;
    // Where an output the host left unconnected is rendered, kMaxBlock frames.
    std::unique_ptr<float[]> scratch;
};

}  // namespace corvalen::lv2
