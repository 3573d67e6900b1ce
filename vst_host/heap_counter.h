// Counts the heap allocations a plug-in makes, for hosts that check real-time safety (the
// validator and the plug-in's own tests), and makes a chosen one fail, for tests of what a
// plug-in does when memory runs out: the one allocation interposer of the project.
//
// Linking this file replaces the process's allocator: the global operator new and delete in
// every form and, with glibc outside sanitizer builds, malloc, calloc, realloc, the aligned
// allocators and free, each forwarding to glibc's own. A plug-in loaded later binds its
// allocator calls to the first definition in the process's global scope, so the executable
// must export these names (ENABLE_EXPORTS, or --export-dynamic-symbol for each). Counting is per
// thread and only between startCounting and stopCounting, so nothing else in the process (a
// sanitizer's own threads, for one) disturbs the figures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvalen::vsthost {

struct HeapCalls {
    std::uint64_t allocations = 0;  // operator new, malloc, calloc, realloc, aligned allocations
    std::uint64_t releases = 0;     // operator delete, free, and what realloc gives back
    std::uint64_t bytes = 0;        // requested, not rounded up by the allocator
    std::uint64_t mallocCalls = 0;  // the part of `allocations` made through malloc & co.
    // Usable size (the allocator's rounding included) of what was allocated and not freed
    // while counting; negative when more was freed than allocated.
    std::int64_t liveUsableBytes = 0;
};

class HeapCounter {
public:
    // Whether the malloc family is replaced too: false in sanitizer builds, whose runtime owns
    // malloc, and off glibc. operator new and delete are counted in every build.
    static bool mallocHooksBuiltIn();
    // An empty text when a plug-in library (a dlopen handle, or null for the process) will have
    // its malloc calls counted; otherwise why not. Tests the hooks live, not just their
    // presence.
    static std::string interpositionProblem(void* libraryHandle);

    static void startCounting();
    static HeapCalls stopCounting();

    // On this thread, the operator new call after `calls` more succeed fails (bad_alloc, or
    // null from the nothrow forms); negative: none fails. The failure is used up by that call.
    static void failNewAfter(long calls);
    // True while the chosen failure has not happened yet.
    static bool newFailurePending();

    // The calls `work` makes on this thread.
    template <typename Work>
    static HeapCalls countDuring(Work&& work) {
        startCounting();
        work();
        return stopCounting();
    }
};

}  // namespace corvalen::vsthost
