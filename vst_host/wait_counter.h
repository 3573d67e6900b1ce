// Counts the calls a plug-in makes that can put the calling thread to sleep: taking a mutex or a
// read-write lock, waiting on a condition or a semaphore, joining a thread, sleeping. On an
// audio thread each of them can wait on another thread, which a host's deadline does not allow.
//
// Linking this file defines those functions in the executable, each forwarding to the C
// library's own, so a plug-in loaded later binds its calls to them if the executable exports
// the names (see tools/CMakeLists.txt). Only calls made directly from the watched library's
// code count: the host's own locks, in its callbacks, do not, and neither do waits inside
// other shared libraries the plug-in calls (libstdc++'s condition_variable::wait, for one).
// Counting is per thread, between startCounting and stopCounting. Attempts that cannot block
// (pthread_mutex_trylock) and yields (sched_yield) are counted apart: they do not wait for
// another thread, but a test of an audio thread may still refuse them. This is the one lock and
// wait interposer of the project, shared by the validator and the tests.
#pragma once

#include <cstdint>
#include <string>

namespace corvalen::vsthost {

struct WaitCalls {
    std::uint64_t locks = 0;      // mutex and read-write lock acquisitions
    std::uint64_t waits = 0;      // condition and semaphore waits, joins
    std::uint64_t sleeps = 0;     // sleep, usleep, nanosleep, clock_nanosleep
    std::uint64_t attempts = 0;   // pthread_mutex_trylock
    std::uint64_t yields = 0;     // sched_yield
    const char* first = nullptr;  // the first lock, wait or sleep function called, for reports
    // The calls that can wait: attempts and yields are not among them.
    std::uint64_t total() const { return locks + waits + sleeps; }
};

class WaitCounter {
public:
    // An empty text when a library loaded now will have its calls counted; otherwise why not.
    static std::string interpositionProblem();

    // Counts this thread's calls from the library that holds `codeInLibrary` (for example a
    // plug-in's processing function).
    static void startCounting(const void* codeInLibrary);
    static WaitCalls stopCounting();
};

}  // namespace corvalen::vsthost
