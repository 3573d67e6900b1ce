// Whether this program is built with a sanitizer, and which interposers it can then hold.
// Every sanitizer's runtime owns malloc, so the allocator hooks of heap_counter.cpp stay out of
// all of them; ThreadSanitizer and MemorySanitizer also track the POSIX waiting functions for
// their own bookkeeping, so the hooks of wait_counter.cpp stay out of those two. Both need
// glibc, whose entry points they forward to.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define CORVALEN_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define CORVALEN_THREAD_SANITIZER 1
#endif
#endif
#ifndef CORVALEN_THREAD_SANITIZER
#define CORVALEN_THREAD_SANITIZER 0
#endif

#if defined(__SANITIZE_ADDRESS__) || CORVALEN_THREAD_SANITIZER
#define CORVALEN_SANITIZER_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CORVALEN_SANITIZER_BUILD 1
#endif
#endif
#ifndef CORVALEN_SANITIZER_BUILD
#define CORVALEN_SANITIZER_BUILD 0
#endif

#if !CORVALEN_SANITIZER_BUILD && defined(__GLIBC__)
#define CORVALEN_MALLOC_INTERPOSERS 1
#else
#define CORVALEN_MALLOC_INTERPOSERS 0
#endif

#if !CORVALEN_THREAD_SANITIZER && defined(__GLIBC__)
#define CORVALEN_WAIT_INTERPOSERS 1
#else
#define CORVALEN_WAIT_INTERPOSERS 0
#endif
