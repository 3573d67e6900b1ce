// The player's work per period (tools/play/play_engine.h) makes no allocation, takes no lock
// and makes no system call: it runs in a child process whose thread traps every system call
// (seccomp), under the allocation and wait counters (vst_host/heap_counter.h, wait_counter.h,
// exported so the loaded plug-in binds to them), with the plug-in converted from 44.1 to
// 48 kHz and passed through at 44.1 kHz, a recording ring, and a period's MIDI that holds
// program and mapped controller changes, several events at one frame and more than fit.
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <vector>

#include "tests/support/plugin_under_test.h"
#include "tools/play/play_engine.h"
#include "vst_host/heap_counter.h"
#include "vst_host/sanitizer_build.h"
#include "vst_host/wait_counter.h"

namespace {

using corvalen::play::EngineSetup;
using corvalen::play::PlayEngine;
using corvalen::play::RecordRing;

// What the child found, in memory shared with the parent.
struct Findings {
    int systemCalls;
    int firstSystemCall;
    int controlCalls;  // the deliberate call after the periods: proves the trap works
    unsigned long long allocations;
    unsigned long long waits;
    int finished;
};

Findings* g_findings = nullptr;
volatile int g_afterPeriods = 0;

extern "C" void countSystemCall(int, siginfo_t* info, void* context) {
    if (g_afterPeriods) {
        ++g_findings->controlCalls;
    } else if (g_findings->systemCalls++ == 0) {
        g_findings->firstSystemCall = info->si_syscall;
    }
    static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RAX] = -ENOSYS;
}

// Every system call but the process's exit and the signal return traps from here on.
bool trapSystemCalls() {
    struct sigaction action = {};
    action.sa_sigaction = countSystemCall;
    action.sa_flags = SA_SIGINFO;
    sigaction(SIGSYS, &action, nullptr);
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_exit_group, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_rt_sigreturn, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
    };
    sock_fprog program = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0;
}

// One period's MIDI: note, mapped controller and program change at one frame, a burst.
void feedPeriod(PlayEngine& engine, int period) {
    const std::uint8_t note[] = {0x90, 69, 100};
    const std::uint8_t controller[] = {0xB0, 1, 90};
    const std::uint8_t program[] = {0xC0, 3};
    const std::uint8_t release[] = {0x80, 69, 0};
    const std::uint8_t clock[] = {0xF8};
    engine.addMidi(controller, 3, 10);
    engine.addMidi(program, 2, 10);
    engine.addMidi(note, 3, 10);
    engine.addMidi(clock, 1, 11);
    for (int i = 0; i < 40; ++i) engine.addMidi(release, 3, period / 2);
}

void playInChild(PlayEngine& engine, int period) {
    std::vector<float> left(static_cast<std::size_t>(period)), right(left.size());
    float* outputs[] = {left.data(), right.data()};
    corvalen::vsthost::HeapCounter::startCounting();
    corvalen::vsthost::WaitCounter::startCounting(reinterpret_cast<const void*>(&feedPeriod));
    if (!trapSystemCalls()) _exit(3);
    for (int i = 0; i < 200; ++i) {
        if (!engine.begin()) _exit(4);
        if (i % 50 == 0) feedPeriod(engine, period);
        engine.process(period, nullptr, outputs);
    }
    g_afterPeriods = 1;
    syscall(SYS_getpid);
    g_afterPeriods = 0;
    g_findings->allocations = corvalen::vsthost::HeapCounter::stopCounting().allocations;
    const corvalen::vsthost::WaitCalls waits = corvalen::vsthost::WaitCounter::stopCounting();
    g_findings->waits = waits.total() + waits.attempts + waits.yields;
    g_findings->finished = 1;
    syscall(SYS_exit_group, 0);
}

TEST(PlayRealTime, APeriodAllocatesLocksAndCallsTheSystemNever) {
    if (CORVALEN_SANITIZER_BUILD) {
        GTEST_SKIP() << "a sanitizer's runtime owns malloc and the lock functions and makes "
                        "system calls of its own";
    }
    ASSERT_EQ(corvalen::vsthost::WaitCounter::interpositionProblem(), "");
    for (double sessionRate : {48000.0, 44100.0}) {
        SCOPED_TRACE(sessionRate);
        auto plugin =
            corvalen::vsthost::Plugin::load(corvalen::test::pluginUnderTestPath(), {44100.0f, 256});
        RecordRing ring(2, 1 << 16);
        EngineSetup setup;
        setup.sessionRate = sessionRate;
        setup.pluginRate = 44100.0;
        setup.period = 256;
        setup.maxEvents = 32;
        setup.midi.controllerParameter[1] = 1;
        setup.ring = &ring;
        PlayEngine engine(*plugin, setup);

        void* shared = mmap(nullptr, sizeof(Findings), PROT_READ | PROT_WRITE,
                            MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(shared, MAP_FAILED);
        g_findings = new (shared) Findings{};
        const pid_t child = fork();
        if (child == 0) playInChild(engine, 256);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << status;
        ASSERT_EQ(WEXITSTATUS(status), 0);
        ASSERT_EQ(g_findings->finished, 1);
        EXPECT_EQ(g_findings->controlCalls, 1);
        EXPECT_EQ(g_findings->systemCalls, 0) << "first: " << g_findings->firstSystemCall;
        EXPECT_EQ(g_findings->allocations, 0u);
        EXPECT_EQ(g_findings->waits, 0u);
        munmap(shared, sizeof(Findings));

        // The child played: the same periods here leave sound in the ring, and the flood past
        // 32 events was counted.
        std::vector<float> left(256), right(256), interleaved(2 << 16);
        float* outputs[] = {left.data(), right.data()};
        for (int i = 0; i < 40; ++i) {
            ASSERT_TRUE(engine.begin());
            if (i == 0) feedPeriod(engine, 256);
            engine.process(256, nullptr, outputs);
        }
        EXPECT_EQ(ring.pop(interleaved.data(), 1 << 16), 40u * 256u);
        EXPECT_GT(engine.droppedEvents(), 0u);
        EXPECT_EQ(engine.notesHeld(), 0);  // note 69 on, then released 40 times
        float peak = 0.0f;
        for (float sample : interleaved) peak = std::max(peak, std::abs(sample));
        EXPECT_GT(peak, 0.01f);
    }
}

}  // namespace
