// run() is real-time code (the ttl says lv2:hardRTCapable): playing the test phrase, with its
// parameter changes, notes and odd run lengths, makes no heap allocation and takes no lock, wait
// or sleep in the plug-in's code. The counters interpose the allocator and the blocking calls
// (vst_host/heap_counter.h, vst_host/wait_counter.h); this program exports them to the library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cross/phrase.h"
#include "tests/lv2/lv2_host.h"
#include "vst_host/heap_counter.h"
#include "vst_host/wait_counter.h"

namespace corvalen::test {
namespace {

const char* const kSymbols[] = {"bow_pos", "bow_pres", "mod_freq", "mod_gain", "off_gain", "level"};

TEST(Lv2Run, MakesNoAllocationAndTakesNoLock) {
    Lv2World world;
    Lv2Instance instance(world, 44100.0);
    const std::string library = std::string(CORVALEN_LV2_BUNDLE) + "/corvalen.so";
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr) << "lilv did not load " << library;
    const std::string heapProblem = vsthost::HeapCounter::interpositionProblem(handle);
    const std::string waitProblem = vsthost::WaitCounter::interpositionProblem();
    dlclose(handle);

    std::vector<float> left(Lv2Instance::kMaxFrames), right(Lv2Instance::kMaxFrames);
    vsthost::HeapCalls heap;
    vsthost::WaitCalls waits;
    for (const PhraseBlock& block : phraseBlocks()) {
        for (const PhraseParameterChange& change : block.changes) {
            instance.setControl(kSymbols[change.index], change.value);
        }
        vsthost::HeapCounter::startCounting();
        if (waitProblem.empty()) vsthost::WaitCounter::startCounting(instance.runFunction());
        instance.run(block.frames, block.notes, left.data(), right.data());
        if (waitProblem.empty()) {
            const vsthost::WaitCalls counted = vsthost::WaitCounter::stopCounting();
            waits.locks += counted.locks;
            waits.waits += counted.waits;
            waits.sleeps += counted.sleeps;
            if (waits.first == nullptr) waits.first = counted.first;
        }
        const vsthost::HeapCalls counted = vsthost::HeapCounter::stopCounting();
        heap.allocations += counted.allocations;
        heap.releases += counted.releases;
    }
    // The host's own sequence writing is outside the counted span; what remains is run().
    EXPECT_EQ(heap.allocations, 0u);
    EXPECT_EQ(heap.releases, 0u);
    EXPECT_EQ(waits.total(), 0u) << "first: " << (waits.first ? waits.first : "");
    if (!heapProblem.empty()) std::cout << "malloc not counted: " << heapProblem << "\n";
    if (!waitProblem.empty()) GTEST_SKIP() << "locks not counted: " << waitProblem;
}

}  // namespace
}  // namespace corvalen::test
