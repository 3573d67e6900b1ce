#pragma once

#include <lv2/atom/atom.h>

#include <cstdint>
#include <memory>

#include "lv2/engine_source.h"
#include "lv2/ports.h"
#include "lv2/rate_interface.h"
#include "synth/engine.h"

namespace corvalen::lv2 {

// One instance of the LV2 plug-in: the engine behind its ports.
//
// run() takes the changed control ports first (they act at the start of the run), then the MIDI
// events of the run, in the order orderForSource gives them, and renders the run through the
// engine. Everything is allocated at instantiation; run() and connect() allocate nothing, take
// no lock and make no system call.
class PluginInstance {
public:
    // The most MIDI events one run takes; past that, each further event replaces the last one
    // kept, so the newest event (a release, often) is never lost.
    static constexpr int kMaxEvents = 1024;

    // `midiEventType` is midi:MidiEvent as the host's urid:map gave it.
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
};

}  // namespace corvalen::lv2
