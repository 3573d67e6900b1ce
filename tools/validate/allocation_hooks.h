// Counts the heap allocations a plug-in makes inside its processing calls.
//
// The tool's executable defines malloc, calloc, realloc, the aligned allocators and free,
// forwarding to glibc's own. A plug-in loaded later binds its allocator calls to the first
// definition in the process's global scope, which is the executable's, so its allocations
// (operator new included, which calls malloc) pass through here. Counting is per thread and
// only between startCounting and stopCounting.
#pragma once

#include <cstdint>
#include <string>

namespace corvalen::validate {

struct HeapCalls {
    std::uint64_t allocations = 0;  // malloc, calloc, realloc, aligned allocations
    std::uint64_t releases = 0;     // free, and realloc to size 0
};

class HeapCounter {
public:
    // False in sanitizer builds, whose runtime owns malloc.
    static bool hooksBuiltIn();
    // An empty text when a plug-in library (a dlopen handle) will have its allocations
    // counted; otherwise why not. Tests the hooks live, not just their presence.
    static std::string interpositionProblem(void* libraryHandle);

    static void startCounting();
    static HeapCalls stopCounting();
};

}  // namespace corvalen::validate
