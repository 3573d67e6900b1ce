#include "vst_host/wait_counter.h"

#include "vst_host/sanitizer_build.h"

#define CORVALEN_WAIT_HOOKS CORVALEN_WAIT_INTERPOSERS

#if CORVALEN_WAIT_HOOKS
#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#endif

namespace {

// Plain thread-locals of the executable use static TLS: reading them takes no lock.
thread_local bool counting = false;
thread_local corvalen::vsthost::WaitCalls counts;

}  // namespace

#if CORVALEN_WAIT_HOOKS
namespace {

thread_local const void* watchedBase = nullptr;

enum class Kind { kLock, kWait, kSleep, kAttempt, kYield };

bool fromWatchedLibrary(const void* callSite) {
    Dl_info info{};
    return dladdr(callSite, &info) != 0 && info.dli_fbase == watchedBase;
}

void note(Kind kind, const char* name, const void* callSite) {
    if (!counting || !fromWatchedLibrary(callSite)) return;
    switch (kind) {
        case Kind::kLock:
            ++counts.locks;
            break;
        case Kind::kWait:
            ++counts.waits;
            break;
        case Kind::kSleep:
            ++counts.sleeps;
            break;
        case Kind::kAttempt:
            ++counts.attempts;
            return;
        case Kind::kYield:
            ++counts.yields;
            return;
    }
    if (!counts.first) counts.first = name;
}

// The C library's definition of `name`, looked up on the first call. The cache is constant-
// initialized (a dynamic initializer would take a guard, which may itself lock), and a race
// here only looks the same pointer up twice.
template <typename Function>
Function libraryFunction(std::atomic<Function>& cache, const char* name) {
    Function function = cache.load(std::memory_order_relaxed);
    if (!function) {
        function = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
        cache.store(function, std::memory_order_relaxed);
    }
    return function;
}

}  // namespace

// Each definition notes the call, then forwards it unchanged.
// `specifier` repeats the C library's declaration: noexcept for the functions that are not
// cancellation points.
#define CORVALEN_FORWARD(kind, result, name, parameters, arguments, specifier) \
    extern "C" result name parameters specifier {                              \
        note(kind, #name, __builtin_return_address(0));                        \
        using Function = result(*) parameters;                                 \
        static std::atomic<Function> cache{nullptr};                           \
        return libraryFunction(cache, #name) arguments;                        \
    }

CORVALEN_FORWARD(Kind::kLock, int, pthread_mutex_lock, (pthread_mutex_t * mutex), (mutex), noexcept)
CORVALEN_FORWARD(Kind::kAttempt, int, pthread_mutex_trylock, (pthread_mutex_t * mutex), (mutex),
                 noexcept)
CORVALEN_FORWARD(Kind::kLock, int, pthread_mutex_timedlock,
                 (pthread_mutex_t * mutex, const struct timespec* until), (mutex, until), noexcept)
CORVALEN_FORWARD(Kind::kLock, int, pthread_rwlock_rdlock, (pthread_rwlock_t * lock), (lock),
                 noexcept)
CORVALEN_FORWARD(Kind::kLock, int, pthread_rwlock_wrlock, (pthread_rwlock_t * lock), (lock),
                 noexcept)
CORVALEN_FORWARD(Kind::kWait, int, pthread_cond_wait,
                 (pthread_cond_t * condition, pthread_mutex_t* mutex), (condition, mutex), )
CORVALEN_FORWARD(Kind::kWait, int, pthread_cond_timedwait,
                 (pthread_cond_t * condition, pthread_mutex_t* mutex, const struct timespec* until),
                 (condition, mutex, until), )
CORVALEN_FORWARD(Kind::kWait, int, sem_wait, (sem_t * semaphore), (semaphore), )
CORVALEN_FORWARD(Kind::kWait, int, sem_timedwait, (sem_t * semaphore, const struct timespec* until),
                 (semaphore, until), )
CORVALEN_FORWARD(Kind::kWait, int, pthread_join, (pthread_t thread, void** result),
                 (thread, result), )
CORVALEN_FORWARD(Kind::kSleep, unsigned int, sleep, (unsigned int seconds), (seconds), )
CORVALEN_FORWARD(Kind::kSleep, int, usleep, (useconds_t microseconds), (microseconds), )
CORVALEN_FORWARD(Kind::kSleep, int, nanosleep,
                 (const struct timespec* duration, struct timespec* left), (duration, left), )
CORVALEN_FORWARD(Kind::kSleep, int, clock_nanosleep,
                 (clockid_t clock, int flags, const struct timespec* duration,
                  struct timespec* left),
                 (clock, flags, duration, left), )

CORVALEN_FORWARD(Kind::kYield, int, sched_yield, (), (), noexcept)

#undef CORVALEN_FORWARD
#endif

namespace corvalen::vsthost {

std::string WaitCounter::interpositionProblem() {
#if CORVALEN_WAIT_HOOKS
    // What a library loaded now binds the name to: the first definition in the global scope,
    // which must be this program's.
    Dl_info global{};
    Dl_info ours{};
    void* const bound = dlsym(RTLD_DEFAULT, "pthread_mutex_lock");
    if (!bound || !dladdr(bound, &global) ||
        !dladdr(reinterpret_cast<const void*>(&WaitCounter::interpositionProblem), &ours) ||
        global.dli_fbase != ours.dli_fbase) {
        return "this program does not export its pthread_mutex_lock";
    }
    return "";
#else
    return "the hooks are not built into this program (ThreadSanitizer build, or not glibc)";
#endif
}

void WaitCounter::startCounting(const void* codeInLibrary) {
#if CORVALEN_WAIT_HOOKS
    Dl_info info{};
    watchedBase = dladdr(codeInLibrary, &info) != 0 ? info.dli_fbase : nullptr;
#else
    (void)codeInLibrary;
#endif
    counts = WaitCalls{};
    counting = true;
}

WaitCalls WaitCounter::stopCounting() {
    counting = false;
    return counts;
}

}  // namespace corvalen::vsthost
