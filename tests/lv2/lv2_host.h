// A small LV2 host on lilv, as hosts load the plug-in: the bundle found through lilv, the
// instance made with urid:map as its only feature, ports connected to the host's buffers, MIDI
// sent as an atom sequence, presets applied through lilv's state API.
#pragma once

#include <lilv/lilv.h>
#include <lv2/core/lv2.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "vst_host/event_list.h"

namespace corvalen::test {

// The world with the bundle of this build (CORVALEN_LV2_BUNDLE) loaded, and the host's URID map.
class Lv2World {
public:
    Lv2World();
    ~Lv2World();
    Lv2World(const Lv2World&) = delete;
    Lv2World& operator=(const Lv2World&) = delete;

    LilvWorld* world() const { return world_; }
    // Corvalen; null when the bundle does not describe it.
    const LilvPlugin* plugin() const { return plugin_; }
    std::uint32_t map(const char* uri);
    const LV2_Feature* const* features() const { return features_; }

private:
    LilvWorld* world_ = nullptr;
    const LilvPlugin* plugin_ = nullptr;
    std::map<std::string, std::uint32_t> uris_;
    struct MapFeature;
    std::unique_ptr<MapFeature> map_;
    const LV2_Feature* features_[2] = {nullptr, nullptr};
};

// One instance, activated, with every port connected: controls at the ttl's defaults.
class Lv2Instance {
public:
    static constexpr int kMaxFrames = 4096;

    Lv2Instance(Lv2World& world, double sampleRate);
    ~Lv2Instance();
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    // Sets a control input by symbol; the next run sees it. False for an unknown symbol.
    bool setControl(const std::string& symbol, float value);
    float control(const std::string& symbol) const;
    float latency() const { return latency_; }
    // Applies a preset through lilv's state API (the ports it names). False if lilv finds none.
    bool applyPreset(const std::string& uri);

    // One run of `frames` frames (0..kMaxFrames) with `events` in the given order (frames as
    // given, in range or not), rendered into the two outputs of `frames` + `guard` floats each
    // (pre-filled by the caller).
    void run(int frames, const std::vector<vsthost::MidiMessage>& events, float* out1, float* out2);
    // The library's run function, for counters that watch the plug-in's own code.
    const void* runFunction() const;
    LV2_Handle handle() const;

private:
    Lv2World& world_;
    LilvInstance* instance_ = nullptr;
    std::vector<std::uint64_t> sequence_;  // 8-byte aligned atom sequence buffer
    std::map<std::string, std::uint32_t> controlIndex_;
    std::vector<float> values_;
    float latency_ = -1.0f;
    std::uint32_t midiEvent_ = 0;
    std::uint32_t sequenceType_ = 0;
};

}  // namespace corvalen::test
