// A construction that runs out of memory: `main` must answer null, leak nothing and let no
// exception reach the host. This program replaces the global operator new, which the plug-in
// library's allocations also resolve to, so that a chosen allocation fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "tests/support/plugin_under_test.h"

namespace {

// Allocations left before the failing one; negative: none fails.
int allocationsBeforeFailure = -1;

}  // namespace

void* operator new(std::size_t size) {
    if (allocationsBeforeFailure == 0) {
        allocationsBeforeFailure = -1;
        throw std::bad_alloc();
    }
    if (allocationsBeforeFailure > 0) --allocationsBeforeFailure;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace {

// Answers every call without allocating, so that every counted allocation is the plug-in's.
VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

TEST(AllocationFailure, EveryFailedConstructionStepGivesNull) {
    const corvalen::vsthost::PluginLibrary& library = corvalen::test::pluginUnderTest();

    // Fail the first, second, ... allocation of a construction until one completes.
    int failedConstructions = 0;
    for (int failAt = 0; failAt < 1000; ++failAt) {
        allocationsBeforeFailure = failAt;
        AEffect* effect = library.entry()(quietHost);
        const bool failureHappened = allocationsBeforeFailure != failAt &&
                                     allocationsBeforeFailure == -1 && effect == nullptr;
        allocationsBeforeFailure = -1;
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
