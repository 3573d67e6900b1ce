// The audio thread never waits: while a host's other threads change parameters, select
// programs and read values and texts, the plug-in's processEvents and rendering calls take no
// lock (not even a try), wait on no condition or semaphore, and neither sleep nor yield.
//
// The program links vst_host's wait counter, which defines the POSIX waiting functions (and
// the program exports its symbols), so every call the dlopen'ed plug-in makes to them lands
// there first and is counted when the audio thread makes it inside a processing call.
// ThreadSanitizer builds leave the counter out, as their runtime tracks these functions.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "tests/support/plugin_under_test.h"
#include "vst_host/audio_block.h"
#include "vst_host/effect.h"
#include "vst_host/event_list.h"
#include "vst_host/host.h"
#include "vst_host/sanitizer_build.h"
#include "vst_host/wait_counter.h"

namespace corvalen::test {
namespace {

using vsthost::WaitCalls;
using vsthost::WaitCounter;

// Every call that can make the audio thread wait or give up its time slice.
std::uint64_t anyWait(const WaitCalls& calls) {
    return calls.total() + calls.attempts + calls.yields;
}

void countedLockAndYield() {
    std::mutex mutex;
    mutex.lock();
    mutex.unlock();
    if (mutex.try_lock()) mutex.unlock();
    std::this_thread::yield();
}

TEST(AudioThread, TheCountingHooksAreTheOnesThePluginCalls) {
    if (!CORVALEN_WAIT_INTERPOSERS) GTEST_SKIP() << "ThreadSanitizer build: no wait counter";
    // The plug-in's calls are bound through the global scope, where this program comes first.
    EXPECT_EQ(WaitCounter::interpositionProblem(), "");
    // And they count: a lock, a try and a yield of this program's own code are seen.
    WaitCounter::startCounting(reinterpret_cast<const void*>(&countedLockAndYield));
    countedLockAndYield();
    const WaitCalls calls = WaitCounter::stopCounting();
    EXPECT_EQ(calls.locks, 1u);
    EXPECT_EQ(calls.attempts, 1u);
    EXPECT_EQ(calls.yields, 1u);
}

TEST(AudioThread, NeverWaitsWhileOtherThreadsChangeAndReadTheEffect) {
    if (!CORVALEN_WAIT_INTERPOSERS) GTEST_SKIP() << "ThreadSanitizer build: no wait counter";
    const vsthost::PluginLibrary& library = pluginUnderTest();
    vsthost::Host host{vsthost::HostProfile::kVersionOnly};
    vsthost::Effect effect(host.open(library));
    ASSERT_TRUE(effect.isOpen());
    effect.dispatch(effMainsChanged, 0, 1);
    std::uint64_t waitsOnAudioThread = 0;
    const char* firstWait = nullptr;

    constexpr int kMinimumBlocks = 300;
    constexpr int kMinimumControlRounds = 300;
    std::atomic<int> blocks{0};
    std::atomic<int> controlRounds{0};

    std::thread audio([&] {
        vsthost::EventList notes[2];
        notes[0].addMidi(0, 0x90, 57, 100);
        notes[1].addMidi(100, 0x80, 57, 0);
        vsthost::AudioBlock block(256);
        while (blocks.load() < kMinimumBlocks || controlRounds.load() < kMinimumControlRounds) {
            const int n = blocks.load();
            VstEvents* list = notes[(n / 20) % 2].get();
            WaitCounter::startCounting(reinterpret_cast<const void*>(effect.record()->dispatcher));
            effect.record()->dispatcher(effect.record(), effProcessEvents, 0, 0, list, 0.0f);
            if (n % 3 == 0) {
                effect.record()->process(effect.record(), block.inputs(), block.outputs(), 256);
            } else {
                effect.record()->processReplacing(effect.record(), block.inputs(), block.outputs(),
                                                  256);
            }
            const WaitCalls calls = WaitCounter::stopCounting();
            waitsOnAudioThread += anyWait(calls);
            if (!firstWait) firstWait = calls.first;
            blocks.fetch_add(1);
        }
    });
    std::thread control([&] {
        while (controlRounds.load() < kMinimumControlRounds || blocks.load() < kMinimumBlocks) {
            const int round = controlRounds.load();
            const VstInt32 index = round % 6;
            effect.setParameter(index, 0.1f + 0.8f * static_cast<float>(round % 9) / 8.0f);
            effect.getParameter(index);
            effect.readText(effGetParamDisplay, index);
            effect.readText(effGetParamName, index);
            if (round % 50 == 0) effect.dispatch(effSetProgram, 0, round % 32);
            controlRounds.fetch_add(1);
        }
    });
    audio.join();
    control.join();
    EXPECT_EQ(waitsOnAudioThread, 0u) << (firstWait ? firstWait : "a try or a yield");
    EXPECT_GE(blocks.load(), kMinimumBlocks);
}

}  // namespace
}  // namespace corvalen::test
