// The callback-time histogram: the shares it reports are the callbacks' own, rounded up to the
// microsecond, with the longest kept apart from the bins.
#include "tools/play/callback_times.h"

#include <gtest/gtest.h>

namespace {

using corvalen::play::CallbackTimes;

TEST(CallbackTimes, ReportsTheSharesOfATimedRun) {
    CallbackTimes times;
    for (int i = 0; i < 996; ++i) times.add(4'200);
    for (int i = 0; i < 3; ++i) times.add(40'500);
    times.add(2'000'000);  // beyond the last bin
    EXPECT_EQ(times.count(), 1000u);
    EXPECT_EQ(times.micros(0.5), 5);
    EXPECT_EQ(times.micros(0.996), 5);
    EXPECT_EQ(times.micros(0.997), 41);
    EXPECT_EQ(times.micros(0.999), 41);
    EXPECT_EQ(times.micros(1.0), CallbackTimes::kBins);
    EXPECT_NEAR(times.meanMicros(), 6.3047, 1e-9);
    EXPECT_EQ(times.longestMicros(), 2000.0);
    EXPECT_EQ(times.summary(),
              "callback time over 1000 periods: mean 6.3 us, half within 5 us, 99.7 % within "
              "41 us, longest 2000 us");
}

TEST(CallbackTimes, ClampsNegativeTimesAndSaysWhatTheBinsCannotHold) {
    CallbackTimes times;
    times.add(-5);  // a clock stepping back counts as no time, not as a huge one
    EXPECT_EQ(times.micros(1.0), 1);
    EXPECT_EQ(times.longestMicros(), 0.0);
    for (int i = 0; i < 3; ++i) times.add(5'000'000);
    EXPECT_EQ(times.summary(),
              "callback time over 4 periods: mean 3750.0 us, half not within 1000 us, 99.7 % not "
              "within 1000 us, longest 5000 us");
    EXPECT_EQ(CallbackTimes().summary(), "callback time: no period was played");
}

}  // namespace
