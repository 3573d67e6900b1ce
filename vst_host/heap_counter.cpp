#include "vst_host/heap_counter.h"

#include <cerrno>
#include <cstdlib>
#include <new>

#include "vst_host/sanitizer_build.h"

// Sanitizer runtimes replace malloc themselves; a second replacement would bypass them.
#define CORVALEN_MALLOC_HOOKS CORVALEN_MALLOC_INTERPOSERS

#if defined(__GLIBC__)
#include <dlfcn.h>
#include <malloc.h>
#endif

namespace {

// Plain thread-locals of the executable use static TLS: reading them never allocates, which
// matters inside malloc.
thread_local bool counting = false;
thread_local corvalen::vsthost::HeapCalls counts;
// operator new calls left before the one that fails; negative: none fails.
thread_local long newCallsBeforeFailure = -1;

// True for the operator new call that is to fail.
bool failThisNew() {
    if (newCallsBeforeFailure < 0) return false;
    return newCallsBeforeFailure-- == 0;
}

std::int64_t usableSize(void* memory) {
#if defined(__GLIBC__)
    return static_cast<std::int64_t>(malloc_usable_size(memory));
#else
    (void)memory;
    return 0;
#endif
}

void noteAllocation(std::size_t size) {
    if (!counting) return;
    ++counts.allocations;
    counts.bytes += size;
}
// After the allocator has answered: what the block really occupies.
void* noteBlock(void* memory) {
    if (counting && memory) counts.liveUsableBytes += usableSize(memory);
    return memory;
}
void noteRelease(void* memory) {
    if (!counting || !memory) return;
    ++counts.releases;
    counts.liveUsableBytes -= usableSize(memory);
}
#if CORVALEN_MALLOC_HOOKS
void noteMallocCall() {
    if (counting) ++counts.mallocCalls;
}
#endif

}  // namespace

#if CORVALEN_MALLOC_HOOKS
// glibc's own entry points, which its malloc, free and the rest are aliases of.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);

void* malloc(std::size_t size) {
    noteMallocCall();
    noteAllocation(size);
    return noteBlock(__libc_malloc(size));
}

void* calloc(std::size_t count, std::size_t size) {
    noteMallocCall();
    noteAllocation(count * size);
    return noteBlock(__libc_calloc(count, size));
}

// A reallocation gives back the old block and takes a new one; to size 0 it only gives back.
void* realloc(void* pointer, std::size_t size) {
    noteRelease(pointer);
    if (size == 0 && pointer) return __libc_realloc(pointer, size);
    noteMallocCall();
    noteAllocation(size);
    return noteBlock(__libc_realloc(pointer, size));
}

void* memalign(std::size_t alignment, std::size_t size) {
    noteMallocCall();
    noteAllocation(size);
    return noteBlock(__libc_memalign(alignment, size));
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
    return memalign(alignment, size);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* pointer = memalign(alignment, size);
    if (!pointer) return ENOMEM;
    *out = pointer;
    return 0;
}

void free(void* pointer) {
    noteRelease(pointer);
    __libc_free(pointer);
}
}  // extern "C"
#define CORVALEN_RAW_MALLOC __libc_malloc
#define CORVALEN_RAW_FREE __libc_free
#else
#define CORVALEN_RAW_MALLOC std::malloc
#define CORVALEN_RAW_FREE std::free
#endif

// Every replaceable form funnels into these, so no form escapes the count, and none is counted
// twice through malloc.
void* operator new(std::size_t size) {
    if (failThisNew()) throw std::bad_alloc();
    noteAllocation(size);
    if (void* memory = CORVALEN_RAW_MALLOC(size == 0 ? 1 : size)) return noteBlock(memory);
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (failThisNew()) return nullptr;
    noteAllocation(size);
    return noteBlock(CORVALEN_RAW_MALLOC(size == 0 ? 1 : size));
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* memory) noexcept {
    noteRelease(memory);
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

namespace corvalen::vsthost {

bool HeapCounter::mallocHooksBuiltIn() {
    return CORVALEN_MALLOC_HOOKS != 0;
}

void HeapCounter::startCounting() {
    counts = HeapCalls{};
    counting = true;
}

HeapCalls HeapCounter::stopCounting() {
    counting = false;
    return counts;
}

void HeapCounter::failNewAfter(long calls) {
    newCallsBeforeFailure = calls;
}

bool HeapCounter::newFailurePending() {
    return newCallsBeforeFailure >= 0;
}

std::string HeapCounter::interpositionProblem(void* libraryHandle) {
#if CORVALEN_MALLOC_HOOKS
    // What a library loaded now binds malloc to: the first definition in the global scope.
    using Allocator = void* (*)(std::size_t);
    using Releaser = void (*)(void*);
    auto globalMalloc = reinterpret_cast<Allocator>(dlsym(RTLD_DEFAULT, "malloc"));
    auto globalFree = reinterpret_cast<Releaser>(dlsym(RTLD_DEFAULT, "free"));
    if (!globalMalloc || !globalFree) return "malloc is not found in the global scope";

    const HeapCalls seen = countDuring([&] {
        void* volatile viaMalloc = globalMalloc(24);
        globalFree(viaMalloc);
        void* volatile viaNew = ::operator new(24);
        ::operator delete(viaNew);
    });
    if (seen.allocations != 2 || seen.releases != 2 || seen.mallocCalls != 1) {
        return "the executable's malloc is not the one the global scope resolves (saw " +
               std::to_string(seen.mallocCalls) + " of 1 malloc call)";
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
#else
    (void)libraryHandle;
    return "the allocator hooks are not built into this program (sanitizer build, or not glibc)";
#endif
}

}  // namespace corvalen::vsthost
