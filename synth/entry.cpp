#include "synth/corvalen.h"
#include "vst_plugin/plugin_entry.h"

// Exported as `main` by the link step (cmake/Plugin.cmake); the library's only export.
CORVALEN_PLUGIN_ENTRY AEffect* corvalenPluginMain(HostCallback audioMaster) {
    // A host that passes no callback cannot answer the version query.
    if (audioMaster == nullptr) return nullptr;
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    // No exception may cross into the host: a construction that fails (out of memory) is
    // answered with no effect.
    try {
        auto* synth = new Atestsynth(audioMaster);
        return synth->getAeffect();
    } catch (...) {
        return nullptr;
    }
}
