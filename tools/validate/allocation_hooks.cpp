#include "tools/validate/allocation_hooks.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>

// Sanitizer runtimes replace malloc themselves; a second replacement would bypass them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VALIDATE_HEAP_HOOKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define VALIDATE_HEAP_HOOKS 0
#endif
#endif
#if !defined(VALIDATE_HEAP_HOOKS) && defined(__GLIBC__)
#define VALIDATE_HEAP_HOOKS 1
#endif
#ifndef VALIDATE_HEAP_HOOKS
#define VALIDATE_HEAP_HOOKS 0
#endif

namespace {

// Plain thread-locals of the executable use static TLS: reading them never allocates, which
// matters inside malloc.
thread_local bool counting = false;
thread_local std::uint64_t allocationCount = 0;
thread_local std::uint64_t releaseCount = 0;

inline void noteAllocation() {
    if (counting) ++allocationCount;
}
inline void noteRelease() {
    if (counting) ++releaseCount;
}

}  // namespace

#if VALIDATE_HEAP_HOOKS
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);

void* malloc(std::size_t size) {
    noteAllocation();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
    noteAllocation();
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) {
    if (size == 0 && pointer) {
        noteRelease();
    } else {
        noteAllocation();
    }
    return __libc_realloc(pointer, size);
}

void* memalign(std::size_t alignment, std::size_t size) {
    noteAllocation();
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
    noteAllocation();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    noteAllocation();
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* pointer = __libc_memalign(alignment, size);
    if (!pointer) return ENOMEM;
    *out = pointer;
    return 0;
}

void free(void* pointer) {
    if (pointer) noteRelease();
    __libc_free(pointer);
}
}  // extern "C"
#endif

namespace corvalen::validate {

bool HeapCounter::hooksBuiltIn() {
    return VALIDATE_HEAP_HOOKS != 0;
}

void HeapCounter::startCounting() {
    allocationCount = 0;
    releaseCount = 0;
    counting = true;
}

HeapCalls HeapCounter::stopCounting() {
    counting = false;
    return HeapCalls{allocationCount, releaseCount};
}

std::string HeapCounter::interpositionProblem(void* libraryHandle) {
    if (!hooksBuiltIn()) {
        return "the allocator hooks are not built into this tool (sanitizer build)";
    }
    // What a library loaded now binds malloc to: the first definition in the global scope.
    using Allocator = void* (*)(std::size_t);
    using Releaser = void (*)(void*);
    auto globalMalloc = reinterpret_cast<Allocator>(dlsym(RTLD_DEFAULT, "malloc"));
    auto globalFree = reinterpret_cast<Releaser>(dlsym(RTLD_DEFAULT, "free"));
    if (!globalMalloc || !globalFree) return "malloc is not found in the global scope";

    startCounting();
    void* volatile viaMalloc = globalMalloc(24);
    globalFree(viaMalloc);
    void* volatile viaNew = ::operator new(24);
    ::operator delete(viaNew);
    const HeapCalls seen = stopCounting();
    if (seen.allocations != 2 || seen.releases != 2) {
        return "the executable's malloc is not the one the global scope resolves (saw " +
               std::to_string(seen.allocations) + " of 2 allocations)";
    }

    // A library that defines its own malloc binds to that one, not to ours.
    if (libraryHandle) {
        void* ownMalloc = dlsym(libraryHandle, "malloc");
        Dl_info ownInfo{};
        Dl_info ourInfo{};
        if (ownMalloc && dladdr(ownMalloc, &ownInfo) &&
            dladdr(reinterpret_cast<void*>(globalMalloc), &ourInfo) &&
            ownInfo.dli_fbase != ourInfo.dli_fbase) {
            Dl_info libraryInfo{};
            void* entry = dlsym(libraryHandle, "main");
            if (!entry) entry = dlsym(libraryHandle, "VSTPluginMain");
            if (entry && dladdr(entry, &libraryInfo) &&
                libraryInfo.dli_fbase == ownInfo.dli_fbase) {
                return "the plug-in defines its own malloc";
            }
        }
    }
    return "";
}

}  // namespace corvalen::validate
