// The one child-process runner: what a child wrote arrives whole, and every way a child can end
// is told apart, a hang included, which is killed at its deadline.
#include "tools/common/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

using corvalen::tools::ChildEnding;
using corvalen::tools::ChildOptions;
using corvalen::tools::runInChild;

ChildOptions within(double seconds) {
    ChildOptions options;
    options.timeoutSeconds = seconds;
    return options;
}

TEST(ChildProcess, AnAnswerLargerThanThePipeArrivesWhole) {
    const std::string big(300000, 'x');
    const auto child = runInChild(
        [&](int fd) { ASSERT_TRUE(corvalen::tools::writeAll(fd, big.data(), big.size())); },
        within(30));
    EXPECT_TRUE(child.ending.cleanExit());
    EXPECT_EQ(child.answer, big);
}

TEST(ChildProcess, TellsExitCodesSignalsAndHangsApart) {
    const auto exited = runInChild([](int) { _exit(7); }, within(30));
    EXPECT_EQ(exited.ending.kind, ChildEnding::Kind::kExited);
    EXPECT_EQ(exited.ending.exitCode, 7);
    EXPECT_FALSE(exited.ending.cleanExit());

    // What a child wrote before it died still arrives. (SIGABRT rather than SIGSEGV, which a
    // sanitizer's runtime would turn into an exit.)
    const auto crashed = runInChild(
        [](int fd) {
            corvalen::tools::writeAll(fd, "partial", 7);
            raise(SIGABRT);
        },
        within(30));
    EXPECT_EQ(crashed.ending.kind, ChildEnding::Kind::kSignaled);
    EXPECT_EQ(crashed.ending.signal, SIGABRT);
    EXPECT_EQ(crashed.answer, "partial");
    EXPECT_EQ(crashed.ending.signalText().rfind("signal " + std::to_string(SIGABRT) + ", ", 0), 0u);

    const double start = corvalen::tools::monotonicSeconds();
    const auto hung = runInChild(
        [](int) {
            for (;;) pause();
        },
        within(0.5));
    EXPECT_EQ(hung.ending.kind, ChildEnding::Kind::kHung);
    EXPECT_LT(corvalen::tools::monotonicSeconds() - start, 20.0);
    // A child that waits has used next to no CPU time.
    EXPECT_GE(hung.ending.cpuSeconds, 0.0);
    EXPECT_LT(hung.ending.cpuSeconds, 0.4);
}

TEST(ChildProcess, DiscardedOutputDoesNotReachTheParentsStreams) {
    ChildOptions options = within(30);
    options.output = corvalen::tools::ChildOutput::kDiscarded;
    testing::internal::CaptureStdout();
    const auto child = runInChild(
        [](int fd) {
            std::printf("chatter\n");
            std::fflush(stdout);
            corvalen::tools::writeAll(fd, "ok", 2);
        },
        options);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(child.answer, "ok");
}

}  // namespace
