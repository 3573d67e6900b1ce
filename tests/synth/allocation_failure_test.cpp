// A construction that runs out of memory: `main` must answer null, leak nothing and let no
// exception reach the host. This program links vst_host's allocation counter, whose global
// operator new the plug-in library's allocations also resolve to, and makes a chosen one fail.
#include <gtest/gtest.h>

#include "tests/support/plugin_under_test.h"
#include "vst_host/heap_counter.h"

namespace {

// Answers every call without allocating, so that every counted allocation is the plug-in's.
VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

using corvalen::vsthost::HeapCounter;

TEST(AllocationFailure, EveryFailedConstructionStepGivesNull) {
    const corvalen::vsthost::PluginLibrary& library = corvalen::test::pluginUnderTest();

    // Fail the first, second, ... allocation of a construction until one completes.
    int failedConstructions = 0;
    for (int failAt = 0; failAt < 1000; ++failAt) {
        HeapCounter::failNewAfter(failAt);
        AEffect* effect = library.entry()(quietHost);
        const bool failureHappened = !HeapCounter::newFailurePending() && effect == nullptr;
        HeapCounter::failNewAfter(-1);
        if (effect != nullptr) {
            // Enough allocations for a whole object: it works and closes normally.
            EXPECT_EQ(effect->numPrograms, 32);
            EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
            break;
        }
        EXPECT_TRUE(failureHappened) << failAt;
        ++failedConstructions;
    }
    // The programs and the instrument's units are separate allocations.
    EXPECT_GT(failedConstructions, 32);
}

}  // namespace
