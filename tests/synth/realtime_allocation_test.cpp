// Heap use of the plug-in, counted by replacing the allocator of this whole process: the global
// operator new and delete (which the loaded library's allocations resolve to, as it imports
// them) and, outside sanitizer builds, glibc's malloc family itself. The program exports its
// definitions (ENABLE_EXPORTS), so the dlopen'ed library binds to them.
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

#include "tests/vst_plugin/test_host.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define CORVALEN_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define CORVALEN_SANITIZED 1
#endif
#endif

namespace {

// Counted only on the thread that asked for it, so that nothing else in the process (a
// sanitizer's own threads, for one) can disturb the figures.
struct AllocationCounters {
    long allocations = 0;  // operator new and the malloc family
    long frees = 0;
    std::size_t bytes = 0;  // requested, not rounded up by the allocator
    long mallocCalls = 0;   // the part of `allocations` that came through malloc & co.
    // Usable size (the allocator's rounding included) of what was allocated and not yet freed.
    long liveUsableBytes = 0;
};
thread_local bool counting = false;
thread_local AllocationCounters counters;

void countAllocation(std::size_t size) {
    if (!counting) return;
    ++counters.allocations;
    counters.bytes += size;
}
// After the allocator has answered: what the block really occupies.
void* countBlock(void* memory) {
    if (counting && memory != nullptr) {
        counters.liveUsableBytes += static_cast<long>(malloc_usable_size(memory));
    }
    return memory;
}
void countFree(void* memory) {
    if (!counting || memory == nullptr) return;
    ++counters.frees;
    counters.liveUsableBytes -= static_cast<long>(malloc_usable_size(memory));
}

}  // namespace

#if !defined(CORVALEN_SANITIZED)
// glibc's own entry points, which its malloc, free and the rest are aliases of.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* memory, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* memory);

void* malloc(std::size_t size) {
    if (counting) ++counters.mallocCalls;
    countAllocation(size);
    return countBlock(__libc_malloc(size));
}
void* calloc(std::size_t count, std::size_t size) {
    if (counting) ++counters.mallocCalls;
    countAllocation(count * size);
    return countBlock(__libc_calloc(count, size));
}
// A reallocation counts as the free of the old block and the allocation of a new one.
void* realloc(void* memory, std::size_t size) {
    if (counting) ++counters.mallocCalls;
    countFree(memory);
    countAllocation(size);
    return countBlock(__libc_realloc(memory, size));
}
void* memalign(std::size_t alignment, std::size_t size) {
    if (counting) ++counters.mallocCalls;
    countAllocation(size);
    return countBlock(__libc_memalign(alignment, size));
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    return memalign(alignment, size);
}
int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
    void* memory = memalign(alignment, size);
    if (memory == nullptr) return ENOMEM;
    *result = memory;
    return 0;
}
void free(void* memory) {
    countFree(memory);
    __libc_free(memory);
}
}
#define CORVALEN_RAW_MALLOC __libc_malloc
#define CORVALEN_RAW_FREE __libc_free
#else
#define CORVALEN_RAW_MALLOC std::malloc
#define CORVALEN_RAW_FREE std::free
#endif

// Every replaceable form funnels into these two, so no form escapes the count.
void* operator new(std::size_t size) {
    countAllocation(size);
    if (void* memory = CORVALEN_RAW_MALLOC(size == 0 ? 1 : size)) return countBlock(memory);
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    countAllocation(size);
    return countBlock(CORVALEN_RAW_MALLOC(size == 0 ? 1 : size));
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* memory) noexcept {
    countFree(memory);
    CORVALEN_RAW_FREE(memory);
}
void operator delete[](void* memory) noexcept {
    operator delete(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    operator delete(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    operator delete(memory);
}

namespace {

using corvalen::testing::AudioBlock;
using corvalen::testing::EventList;
using corvalen::testing::PluginLibrary;

// The counts of whatever `work` does on this thread.
template <typename Work>
AllocationCounters countDuring(Work&& work) {
    counters = AllocationCounters{};
    counting = true;
    work();
    counting = false;
    return counters;
}

// Answers the version query and nothing else, without allocating.
VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

const PluginLibrary& library() {
    return corvalen::testing::sharedPluginLibrary(CORVALEN_PLUGIN_DEFAULT_PATH);
}

// The two delay lines of the 20 Hz string: 2207 and 1104 floats.
constexpr std::size_t kDelayLineBytes = (2207 + 1104) * sizeof(float);

TEST(RealTimeAllocation, CountingSeesThePluginsOwnAllocations) {
    ASSERT_TRUE(library().isLoaded()) << library().error();
    // Positive control: construction through `main` allocates inside the loaded library, and
    // construction (which replaces some of its first arrays) and closing together free every
    // block it allocated.
    AEffect* effect = nullptr;
    const AllocationCounters created = countDuring([&] { effect = library().entry()(quietHost); });
    ASSERT_NE(effect, nullptr);
    EXPECT_GT(created.allocations, 32);  // 32 programs, the instrument and its units
    EXPECT_GE(created.bytes, kDelayLineBytes);
    const AllocationCounters closed =
        countDuring([&] { effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f); });
    EXPECT_EQ(created.frees + closed.frees, created.allocations);
    EXPECT_EQ(created.liveUsableBytes + closed.liveUsableBytes, 0);

#if !defined(CORVALEN_SANITIZED)
    // The malloc family is replaced too: a libc function that allocates is seen.
    char* copy = nullptr;
    const AllocationCounters duplicated = countDuring([&] { copy = strdup("Corvalen"); });
    EXPECT_EQ(duplicated.mallocCalls, 1);
    EXPECT_EQ(duplicated.bytes, 9u);
    free(copy);
#endif
}

TEST(RealTimeAllocation, MemoryPerInstance) {
    ASSERT_TRUE(library().isLoaded()) << library().error();
    AEffect* effect = nullptr;
    const AllocationCounters created = countDuring([&] { effect = library().entry()(quietHost); });
    ASSERT_NE(effect, nullptr);
    const long liveBlocks = created.allocations - created.frees;
    std::printf(
        "one instance: %ld allocations of %zu bytes in all during construction; %ld blocks, "
        "%ld usable bytes live afterwards (delay lines %zu bytes)\n",
        created.allocations, created.bytes, liveBlocks, created.liveUsableBytes, kDelayLineBytes);
    RecordProperty("instance_bytes_allocated", static_cast<int>(created.bytes));
    RecordProperty("instance_usable_bytes_live", static_cast<int>(created.liveUsableBytes));
    RecordProperty("instance_blocks_live", static_cast<int>(liveBlocks));
    // The delay lines are most of it; the rest is the object, its 32 programs and the units.
    EXPECT_GE(created.bytes, kDelayLineBytes);
    EXPECT_LT(created.bytes, 2 * kDelayLineBytes);
    EXPECT_GE(created.liveUsableBytes, static_cast<long>(kDelayLineBytes));
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

// A host's real-time calls, from a fresh object through many blocks, with every kind of input
// the intake and the rendering loop treat differently.
TEST(RealTimeAllocation, RealTimeCallsAllocateNothing) {
    ASSERT_TRUE(library().isLoaded()) << library().error();
    AEffect* effect = library().entry()(quietHost);
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
    const AllocationCounters used = countDuring([&] {
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
    EXPECT_EQ(used.allocations, 0);
    EXPECT_EQ(used.frees, 0);
    EXPECT_EQ(used.bytes, 0u);
    EXPECT_TRUE(block.guardsIntact() && huge.guardsIntact());
    EXPECT_TRUE(std::isfinite(sink));
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

}  // namespace
