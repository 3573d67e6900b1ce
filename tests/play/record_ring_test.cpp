// The recording's ring between the audio thread and the writer: frames come out interleaved,
// in order, across the ring's end; a period that does not fit is dropped whole and counted.
#include "tools/play/record_ring.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using corvalen::play::RecordRing;

// Pushes `frames` frames numbered from `first` on: channel c of frame f holds 100 c + f.
bool pushNumbered(RecordRing& ring, int first, int frames) {
    std::vector<float> left, right;
    for (int f = first; f < first + frames; ++f) {
        left.push_back(static_cast<float>(f));
        right.push_back(static_cast<float>(100 + f));
    }
    const float* outputs[] = {left.data(), right.data()};
    return ring.push(outputs, frames);
}

TEST(RecordRing, KeepsOrderAcrossItsEndAndDropsWholePeriodsThatDoNotFit) {
    RecordRing ring(2, 8);
    ASSERT_TRUE(pushNumbered(ring, 0, 5));
    std::vector<float> out(2 * 16, -1.0f);
    ASSERT_EQ(ring.pop(out.data(), 3), 3u);
    ASSERT_TRUE(pushNumbered(ring, 5, 6));    // 8 frames held, the last 3 past the ring's end
    EXPECT_FALSE(pushNumbered(ring, 11, 1));  // full
    EXPECT_EQ(ring.droppedFrames(), 1u);
    ASSERT_EQ(ring.pop(out.data(), 16), 8u);
    for (int f = 0; f < 8; ++f) {
        EXPECT_EQ(out[2 * f], static_cast<float>(3 + f)) << f;
        EXPECT_EQ(out[2 * f + 1], static_cast<float>(103 + f)) << f;
    }
    EXPECT_EQ(ring.pop(out.data(), 16), 0u);
    EXPECT_FALSE(pushNumbered(ring, 11, 9));  // larger than the ring: dropped, not cut
    EXPECT_EQ(ring.droppedFrames(), 10u);
    EXPECT_TRUE(pushNumbered(ring, 11, 8));
}

}  // namespace
