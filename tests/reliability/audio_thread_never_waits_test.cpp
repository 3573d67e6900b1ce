// The audio thread never waits: while a host's other threads change parameters, select
// programs and read values and texts, the plug-in's processEvents and rendering calls take no
// lock, wait on no condition or semaphore, and neither sleep nor yield.
//
// This program defines the POSIX waiting functions itself (and is linked with its symbols
// exported), so every call the dlopen'ed plug-in makes to them lands here first; each is counted
// when it happens inside a processing call on the audio thread, then passed on to the C library.
// Not built with ThreadSanitizer, which defines the same functions for its own bookkeeping.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "tests/support/plugin_under_test.h"
#include "vst_host/audio_block.h"
#include "vst_host/effect.h"
#include "vst_host/event_list.h"
#include "vst_host/host.h"

namespace {

thread_local bool insideAudioCall = false;
std::atomic<int> waitsOnAudioThread{0};

void noteWait() {
    if (insideAudioCall) waitsOnAudioThread.fetch_add(1);
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

// The interposed functions: count, then call the definition that follows this program's.
extern "C" {

int pthread_mutex_lock(pthread_mutex_t* mutex) {
    static const auto real = next<int (*)(pthread_mutex_t*)>("pthread_mutex_lock");
    noteWait();
    return real(mutex);
}

int pthread_mutex_trylock(pthread_mutex_t* mutex) {
    static const auto real = next<int (*)(pthread_mutex_t*)>("pthread_mutex_trylock");
    noteWait();
    return real(mutex);
}

int pthread_mutex_timedlock(pthread_mutex_t* mutex, const struct timespec* until) {
    static const auto real =
        next<int (*)(pthread_mutex_t*, const struct timespec*)>("pthread_mutex_timedlock");
    noteWait();
    return real(mutex, until);
}

int pthread_rwlock_rdlock(pthread_rwlock_t* lock) {
    static const auto real = next<int (*)(pthread_rwlock_t*)>("pthread_rwlock_rdlock");
    noteWait();
    return real(lock);
}

int pthread_rwlock_wrlock(pthread_rwlock_t* lock) {
    static const auto real = next<int (*)(pthread_rwlock_t*)>("pthread_rwlock_wrlock");
    noteWait();
    return real(lock);
}

int pthread_cond_wait(pthread_cond_t* condition, pthread_mutex_t* mutex) {
    static const auto real = next<int (*)(pthread_cond_t*, pthread_mutex_t*)>("pthread_cond_wait");
    noteWait();
    return real(condition, mutex);
}

int pthread_cond_timedwait(pthread_cond_t* condition, pthread_mutex_t* mutex,
                           const struct timespec* until) {
    static const auto real =
        next<int (*)(pthread_cond_t*, pthread_mutex_t*, const struct timespec*)>(
            "pthread_cond_timedwait");
    noteWait();
    return real(condition, mutex, until);
}

int sem_wait(sem_t* semaphore) {
    static const auto real = next<int (*)(sem_t*)>("sem_wait");
    noteWait();
    return real(semaphore);
}

int sem_timedwait(sem_t* semaphore, const struct timespec* until) {
    static const auto real = next<int (*)(sem_t*, const struct timespec*)>("sem_timedwait");
    noteWait();
    return real(semaphore, until);
}

int nanosleep(const struct timespec* duration, struct timespec* remaining) {
    static const auto real = next<int (*)(const struct timespec*, struct timespec*)>("nanosleep");
    noteWait();
    return real(duration, remaining);
}

int usleep(useconds_t microseconds) {
    static const auto real = next<int (*)(useconds_t)>("usleep");
    noteWait();
    return real(microseconds);
}

int sched_yield() {
    static const auto real = next<int (*)()>("sched_yield");
    noteWait();
    return real();
}

}  // extern "C"

namespace corvalen::test {
namespace {

class AudioCall {
public:
    AudioCall() { insideAudioCall = true; }
    ~AudioCall() { insideAudioCall = false; }
};

TEST(AudioThread, TheCountingHooksAreTheOnesThePluginCalls) {
    // The plug-in's calls are bound through the global scope, where this program comes first.
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "pthread_mutex_lock"),
              reinterpret_cast<void*>(&pthread_mutex_lock));
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "sched_yield"), reinterpret_cast<void*>(&sched_yield));
    // And they count: a lock taken inside an audio call is seen.
    const int before = waitsOnAudioThread.load();
    std::mutex mutex;
    {
        AudioCall inside;
        mutex.lock();
        mutex.unlock();
    }
    EXPECT_EQ(waitsOnAudioThread.load(), before + 1);
    waitsOnAudioThread = 0;
}

TEST(AudioThread, NeverWaitsWhileOtherThreadsChangeAndReadTheEffect) {
    const vsthost::PluginLibrary& library = pluginUnderTest();
    vsthost::Host host{vsthost::HostProfile::kVersionOnly};
    vsthost::Effect effect(host.open(library));
    ASSERT_TRUE(effect.isOpen());
    effect.dispatch(effMainsChanged, 0, 1);
    waitsOnAudioThread = 0;

    constexpr int kMinimumBlocks = 300;
    constexpr int kMinimumControlRounds = 300;
    std::atomic<int> blocks{0};
    std::atomic<int> controlRounds{0};

    std::thread audio([&] {
        vsthost::EventList notes[2];
        notes[0].addMidi(0, 0x90, 57, 100);
        notes[1].addMidi(100, 0x80, 57, 0);
        vsthost::AudioBlock block(256);
        while (blocks.load() < kMinimumBlocks || controlRounds.load() < kMinimumControlRounds) {
            const int n = blocks.load();
            VstEvents* list = notes[(n / 20) % 2].get();
            AudioCall inside;
            effect.record()->dispatcher(effect.record(), effProcessEvents, 0, 0, list, 0.0f);
            if (n % 3 == 0) {
                effect.record()->process(effect.record(), block.inputs(), block.outputs(), 256);
            } else {
                effect.record()->processReplacing(effect.record(), block.inputs(), block.outputs(),
                                                  256);
            }
            blocks.fetch_add(1);
        }
    });
    std::thread control([&] {
        while (controlRounds.load() < kMinimumControlRounds || blocks.load() < kMinimumBlocks) {
            const int round = controlRounds.load();
            const VstInt32 index = round % 6;
            effect.setParameter(index, 0.1f + 0.8f * static_cast<float>(round % 9) / 8.0f);
            effect.getParameter(index);
            effect.readText(effGetParamDisplay, index);
            effect.readText(effGetParamName, index);
            if (round % 50 == 0) effect.dispatch(effSetProgram, 0, round % 32);
            controlRounds.fetch_add(1);
        }
    });
    audio.join();
    control.join();
    EXPECT_EQ(waitsOnAudioThread.load(), 0);
    EXPECT_GE(blocks.load(), kMinimumBlocks);
}

}  // namespace
}  // namespace corvalen::test
