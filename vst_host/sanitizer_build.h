// Whether this program is built with a sanitizer. Their runtimes own malloc and intercept some
// of the POSIX waiting functions themselves, so the interposers of heap_counter.cpp and
// wait_counter.cpp stay out of such builds (and off glibc, whose internal entry points they
// forward to).
#pragma once

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define CORVALEN_SANITIZER_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define CORVALEN_SANITIZER_BUILD 1
#endif
#endif
#ifndef CORVALEN_SANITIZER_BUILD
#define CORVALEN_SANITIZER_BUILD 0
#endif

// The interposers replace functions of the process: only with glibc and without a sanitizer.
#if !CORVALEN_SANITIZER_BUILD && defined(__GLIBC__)
#define CORVALEN_INTERPOSERS 1
#else
#define CORVALEN_INTERPOSERS 0
#endif
