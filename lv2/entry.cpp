#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <new>

#include "lv2/plugin_instance.h"
#include "lv2/ports.h"

// The library's one export, lv2_descriptor (the version script in lv2/CMakeLists.txt hides
// everything else). No exception may cross into the host: a failed instantiation answers null.

namespace {

using corvalen::lv2::PluginInstance;

const LV2_URID_Map* findUridMap(const LV2_Feature* const* features) {
    if (features == nullptr) return nullptr;
    for (const LV2_Feature* const* feature = features; *feature != nullptr; ++feature) {
        if (std::strcmp((*feature)->URI, LV2_URID__map) == 0) {
            return static_cast<const LV2_URID_Map*>((*feature)->data);
        }
    }
    return nullptr;
}

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double sampleRate,
                       const char* /*bundlePath*/, const LV2_Feature* const* features) {
    // urid:map is the one required feature: MIDI events are known by their mapped type.
    const LV2_URID_Map* map = findUridMap(features);
    if (map == nullptr || map->map == nullptr) return nullptr;
    try {
        return new PluginInstance(sampleRate, map->map(map->handle, LV2_MIDI__MidiEvent));
    } catch (...) {
        return nullptr;
    }
}

void connectPort(LV2_Handle instance, uint32_t port, void* data) {
    static_cast<PluginInstance*>(instance)->connect(port, data);
}

void activate(LV2_Handle instance) {
    try {
        static_cast<PluginInstance*>(instance)->activate();
    } catch (const std::bad_alloc&) {
        // Out of memory: the instance keeps its engine as it was.
    }
}

void run(LV2_Handle instance, uint32_t sampleCount) {
    static_cast<PluginInstance*>(instance)->run(sampleCount);
}

void cleanup(LV2_Handle instance) {
    delete static_cast<PluginInstance*>(instance);
}

const void* extensionData(const char* /*uri*/) {
    return nullptr;
}

const LV2_Descriptor kDescriptor = {
    corvalen::lv2::kPluginUri,
    instantiate,
    connectPort,
    activate,
    run,
    nullptr,
    cleanup,
    extensionData,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(
    uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
