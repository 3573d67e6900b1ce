// Loads the test effect library and opens one recording effect through `main`, as a host does.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/plugin_under_test.h"
#include "tests/vst_plugin/test_effect_probe.h"
#include "vst_host/effect.h"
#include "vst_host/host.h"
#include "vst_host/plugin_library.h"

namespace corvalen::test {

using vsthost::AudioBlock;
using vsthost::Effect;
using vsthost::EventList;
using vsthost::HostCall;
using vsthost::PluginLibrary;
using vsthost::TextResult;

inline std::string testEffectPath() {
    return pathFromEnvironment("CORVALEN_TEST_EFFECT", CORVALEN_TEST_EFFECT_PATH);
}

class TestEffectFixture : public ::testing::Test {
protected:
    void SetUp() override {
        library = std::make_unique<PluginLibrary>(testEffectPath());
        ASSERT_TRUE(library->entry());
        effect = std::make_unique<Effect>(host.open(*library));
        ASSERT_TRUE(effect->isOpen());
        probe = probeOf(*effect);
        ASSERT_NE(probe, nullptr);
        host.clearCalls();
    }

    void TearDown() override {
        effect.reset();
        library.reset();
    }

    static Probe* probeOf(Effect& target) {
        return reinterpret_cast<Probe*>(target.dispatch(effVendorSpecific, kCommandGetProbe));
    }

    // Creates a further test effect of the given kind through the open one.
    AEffect* create(EffectKind kind, HostCallback callback) {
        return reinterpret_cast<AEffect*>(effect->dispatch(effVendorSpecific, kCommandCreate, kind,
                                                           reinterpret_cast<void*>(callback)));
    }

    VstIntPtr liveObjects() { return effect->dispatch(effVendorSpecific, kCommandLiveObjects); }

    // The one operation logged since the log was last cleared.
    const ProbeCall& onlyCall() const {
        EXPECT_EQ(probe->callCount, 1);
        return probe->calls[0];
    }

    void clearLog() { probe->callCount = 0; }

    // Arms the probe: the logged operations answer `answer` from now on.
    void arm(VstIntPtr answer, float floatAnswer = 0.0f, void* pointerAnswer = nullptr) {
        probe->armed = true;
        probe->answer = answer;
        probe->floatAnswer = floatAnswer;
        probe->pointerAnswer = pointerAnswer;
    }

    vsthost::Host host{vsthost::HostProfile::kVersionOnly};
    std::unique_ptr<PluginLibrary> library;
    std::unique_ptr<Effect> effect;
    Probe* probe = nullptr;
};

}  // namespace corvalen::test
