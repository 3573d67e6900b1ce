// The smallest plug-in built on the plug-in side of the interface, for what only a loaded
// library shows: its single export, the question `main` asks, effClose deleting the object, the
// record as a host sees it and the floating-point state after loading.
#include "tests/vst_plugin/test_effect.h"

#include "vst_plugin/audioeffectx.h"
#include "vst_plugin/plugin_entry.h"

using namespace corvalen::test;

namespace {

int liveObjects = 0;

class TestEffect : public AudioEffectX {
public:
    explicit TestEffect(HostCallback host)
        : AudioEffectX(host, kTestEffectPrograms, kTestEffectParams) {
        ++liveObjects;
    }
    ~TestEffect() override { hostVendorSpecific(kDestroyedReport, --liveObjects, nullptr, 0.0f); }
    void process(float**, float**, VstInt32) override {}
    void close() override { hostVendorSpecific(kCloseReport, liveObjects, nullptr, 0.0f); }
};

}  // namespace

AEffect* corvalenPluginMain(HostCallback audioMaster) {
    if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
    return (new TestEffect(audioMaster))->getAeffect();
}
