// Heap use of the plug-in, counted by replacing the allocator of this whole process (see
// vst_host/heap_counter.h). The program exports the replacements (ENABLE_EXPORTS), so the
// dlopen'ed library binds to them.
//
// Shows that processEvents, processReplacing, process, setParameter and getParameter allocate
// nothing once the object exists, and what one object costs in memory.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "tests/support/plugin_under_test.h"
#include "vst_host/audio_block.h"
#include "vst_host/event_list.h"
#include "vst_host/heap_counter.h"

namespace {

using corvalen::vsthost::AudioBlock;
using corvalen::vsthost::EventList;
using corvalen::vsthost::HeapCalls;
using corvalen::vsthost::HeapCounter;

// Answers the version query and nothing else, without allocating.
VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

const corvalen::vsthost::PluginLibrary& library() {
    return corvalen::test::pluginUnderTest();
}

// The two delay lines of the 20 Hz string: 2207 and 1104 floats.
constexpr std::size_t kDelayLineBytes = (2207 + 1104) * sizeof(float);

TEST(RealTimeAllocation, CountingSeesThePluginsOwnAllocations) {
    // Loaded before counting starts: loading allocates in the host, not the plug-in.
    const PluginEntry pluginMain = library().entry();
    // Positive control: construction through `main` allocates inside the loaded library, and
    // construction (which replaces some of its first arrays) and closing together free every
    // block it allocated.
    AEffect* effect = nullptr;
    const HeapCalls created = HeapCounter::countDuring([&] { effect = pluginMain(quietHost); });
    ASSERT_NE(effect, nullptr);
    EXPECT_GT(created.allocations, 32u);  // 32 programs, the instrument and its units
    EXPECT_GE(created.bytes, kDelayLineBytes);
    const HeapCalls closed = HeapCounter::countDuring(
        [&] { effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f); });
    EXPECT_EQ(created.releases + closed.releases, created.allocations);
    EXPECT_EQ(created.liveUsableBytes + closed.liveUsableBytes, 0);

    if (HeapCounter::mallocHooksBuiltIn()) {
        // The malloc family is replaced too: a libc function that allocates is seen.
        char* copy = nullptr;
        const HeapCalls duplicated = HeapCounter::countDuring([&] { copy = strdup("Corvalen"); });
        EXPECT_EQ(duplicated.mallocCalls, 1u);
        EXPECT_EQ(duplicated.bytes, 9u);
        free(copy);
    }
}

TEST(RealTimeAllocation, MemoryPerInstance) {
    // Loaded before counting starts: loading allocates in the host, not the plug-in.
    const PluginEntry pluginMain = library().entry();
    AEffect* effect = nullptr;
    const HeapCalls created = HeapCounter::countDuring([&] { effect = pluginMain(quietHost); });
    ASSERT_NE(effect, nullptr);
    const long liveBlocks = static_cast<long>(created.allocations - created.releases);
    std::printf(
        "one instance: %llu allocations of %llu bytes in all during construction; %ld blocks, "
        "%lld usable bytes live afterwards (delay lines %zu bytes)\n",
        static_cast<unsigned long long>(created.allocations),
        static_cast<unsigned long long>(created.bytes), liveBlocks,
        static_cast<long long>(created.liveUsableBytes), kDelayLineBytes);
    RecordProperty("instance_bytes_allocated", static_cast<int>(created.bytes));
    RecordProperty("instance_usable_bytes_live", static_cast<int>(created.liveUsableBytes));
    RecordProperty("instance_blocks_live", static_cast<int>(liveBlocks));
    // The delay lines are most of it; the rest is the object, its 32 programs and the units.
    EXPECT_GE(created.bytes, kDelayLineBytes);
    EXPECT_LT(created.bytes, 2 * kDelayLineBytes);
    EXPECT_GE(created.liveUsableBytes, static_cast<std::int64_t>(kDelayLineBytes));
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

// A host's real-time calls, from a fresh object through many blocks, with every kind of input
// the intake and the rendering loop treat differently.
TEST(RealTimeAllocation, RealTimeCallsAllocateNothing) {
    // Loaded before counting starts: loading allocates in the host, not the plug-in.
    const PluginEntry pluginMain = library().entry();
    AEffect* effect = pluginMain(quietHost);
    ASSERT_NE(effect, nullptr);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

    // Everything the host side needs is made before counting starts.
    EventList notes;
    notes.addMidi(0, 0x90, 69, 127);
    notes.addMidi(100, 0x91, 72, 64);
    notes.addMidi(101, 0x81, 69, 0);   // a release of a note no longer sounding
    notes.addMidi(102, 0x05, 74, 90);  // running status
    notes.addSysex(103, {0xF0, 0x7E, 0xF7});
    EventList crowded;  // more note messages than the queue holds
    for (int i = 0; i < 40; ++i) crowded.addMidi(i, 0x90, 40 + i, 100);
    crowded.addMidi(50, 0xB0, 123, 0);    // all notes off
    crowded.addMidi(60, 0x90, 250, 255);  // data bytes out of range
    EventList empty;
    VstEvents* const notesList = notes.get();
    VstEvents* const crowdedList = crowded.get();
    VstEvents* const emptyList = empty.get();
    AudioBlock one(1), seven(7), block(512), large(4096), huge(1 << 20);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();

    float sink = 0.0f;
    const HeapCalls used = HeapCounter::countDuring([&] {
        auto processEvents = [&](VstEvents* list) {
            effect->dispatcher(effect, effProcessEvents, 0, 0, list, 0.0f);
        };
        auto render = [&](AudioBlock& b, VstInt32 frames) {
            effect->processReplacing(effect, b.inputs(), b.outputs(), frames);
        };
        processEvents(notesList);
        render(block, 512);
        for (VstInt32 index = -1; index <= 6; ++index) {
            effect->setParameter(effect, index, 0.75f);
            sink += effect->getParameter(effect, index);
        }
        effect->setParameter(effect, 0, nan);
        effect->setParameter(effect, 1, infinity);
        effect->setParameter(effect, 1000, 0.5f);
        sink += effect->getParameter(effect, -1000);
        render(one, 1);
        render(seven, 7);
        processEvents(crowdedList);
        render(large, 4096);
        effect->process(effect, block.inputs(), block.outputs(), 512);
        processEvents(emptyList);
        processEvents(nullptr);
        render(block, 0);
        render(block, -5);
        effect->processReplacing(effect, nullptr, nullptr, 512);
        render(huge, 1 << 20);
        effect->setParameter(effect, 3, 0.0f);  // modulation off again
        processEvents(notesList);
        effect->process(effect, huge.inputs(), huge.outputs(), 1 << 20);
    });
    EXPECT_EQ(used.allocations, 0u);
    EXPECT_EQ(used.releases, 0u);
    EXPECT_EQ(used.bytes, 0u);
    EXPECT_TRUE(block.guardsIntact() && huge.guardsIntact());
    EXPECT_TRUE(std::isfinite(sink));
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

}  // namespace
