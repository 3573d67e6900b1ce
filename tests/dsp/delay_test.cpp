#include "dsp/delay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "dsp/delay_linear.h"
#include "tests/support/float_bits.h"

using velquistdsp::Tdelay;
using velquistdsp::tdlinel;

namespace {

template <typename Line>
std::vector<float> impulseResponse(Line& line, int samples) {
    std::vector<float> out;
    for (int i = 0; i < samples; ++i) out.push_back(line.computeSample(i == 0 ? 1.0f : 0.0f));
    return out;
}

// The read position must trail the write position by the delay in effect, modulo length.
void expectReadPositionTrailsBy(const tdlinel& line, double expectedDelay) {
    ASSERT_GE(line.readIndex, 0);
    ASSERT_LT(line.readIndex, line.length);
    ASSERT_GE(line.fraction, 0.0f);
    ASSERT_LT(line.fraction, 1.0f);
    const double read = line.readIndex + static_cast<double>(line.fraction);
    const double trail = std::fmod(line.writeIndex - read + line.length, line.length);
    EXPECT_NEAR(expectedDelay, trail, 1e-3);
}

}  // namespace

TEST(Delay, WholeSampleDelays) {
    Tdelay immediate(0, 10);
    EXPECT_SAME_FLOAT(0.0f, immediate.lastOutput());
    EXPECT_SAME_FLOAT(7.0f, immediate.computeSample(7.0f));
    EXPECT_SAME_FLOAT(7.0f, immediate.lastOutput());

    Tdelay three(3, 10);
    const float expected[5] = {0.0f, 0.0f, 0.0f, 1.0f, 2.0f};
    for (int i = 0; i < 5; ++i) {
        EXPECT_SAME_FLOAT(expected[i], three.computeSample(static_cast<float>(i + 1)));
    }
    EXPECT_SAME_FLOAT(3.0f, three.peekOutput());
    EXPECT_SAME_FLOAT(3.0f, three.computeSample(6.0f));
}

TEST(Delay, FractionIgnoredByTheReadPositionButKept) {
    Tdelay line(0, 10);
    line.setDelay(2.75f);
    EXPECT_SAME_FLOAT(2.75f, line.delay);
    const std::vector<float> out = impulseResponse(line, 4);
    EXPECT_EQ((std::vector<float>{0.0f, 0.0f, 1.0f, 0.0f}), out);
}

TEST(Delay, ClampsAndGainHasNoEffect) {
    Tdelay line(0, 4);
    line.setDelay(-3.0f);
    EXPECT_SAME_FLOAT(0.0f, line.delay);
    EXPECT_EQ(line.writeIndex, line.readIndex);
    line.setDelay(std::numeric_limits<float>::quiet_NaN());
    EXPECT_SAME_FLOAT(4.0f, line.delay);
    line.setDelay(1e30f);
    EXPECT_SAME_FLOAT(4.0f, line.delay);
    EXPECT_EQ(1, line.readIndex);
    line.setGain(0.5f);
    EXPECT_SAME_FLOAT(0.5f, line.getGain());
    const std::vector<float> out = impulseResponse(line, 6);
    EXPECT_EQ((std::vector<float>{0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f}), out);
}

TEST(Delay, ClearStateSilencesButKeepsIndexes) {
    Tdelay line(2, 5);
    line.computeSample(1.0f);
    line.computeSample(2.0f);
    line.computeSample(3.0f);
    const int write = line.writeIndex;
    const int read = line.readIndex;
    line.clearState();
    EXPECT_SAME_FLOAT(0.0f, line.lastOutput());
    EXPECT_EQ(write, line.writeIndex);
    EXPECT_EQ(read, line.readIndex);
    EXPECT_SAME_FLOAT(0.0f, line.computeSample(4.0f));
    EXPECT_SAME_FLOAT(0.0f, line.computeSample(5.0f));
    EXPECT_SAME_FLOAT(4.0f, line.computeSample(6.0f));
}

TEST(Delay, NegativeMaximumGivesOneSlot) {
    Tdelay line(5, -7);
    EXPECT_EQ(1, line.length);
    EXPECT_SAME_FLOAT(0.0f, line.delay);
    EXPECT_SAME_FLOAT(3.0f, line.computeSample(3.0f));
}

TEST(LinearDelay, FractionalImpulseResponses) {
    tdlinel half(0, 10);
    half.setDelay(0.5f);
    EXPECT_EQ((std::vector<float>{0.5f, 0.5f, 0.0f, 0.0f}), impulseResponse(half, 4));

    tdlinel quarter(0, 10);
    quarter.setDelay(1.25f);
    EXPECT_EQ((std::vector<float>{0.0f, 0.75f, 0.25f, 0.0f}), impulseResponse(quarter, 4));

    // A whole-number delay reproduces the input exactly.
    tdlinel whole(29, 1103);
    const std::vector<float> out = impulseResponse(whole, 31);
    for (int i = 0; i < 31; ++i) EXPECT_SAME_FLOAT(i == 29 ? 1.0f : 0.0f, out[i]) << i;
}

TEST(LinearDelay, ImpulseResponseAcrossTheRingBufferWrap) {
    // A four-slot line at delay 2.5: the impulse must come out as 0.5, 0.5 two and three steps
    // later, wherever in the ring it enters, including when the pair straddles the wrap.
    for (int start = 0; start < 8; ++start) {
        tdlinel line(0, 3);
        line.setDelay(2.5f);
        std::vector<float> out;
        for (int i = 0; i < start + 6; ++i)
            out.push_back(line.computeSample(i == start ? 1.0f : 0.0f));
        for (int i = 0; i < start + 6; ++i) {
            const float expected = (i == start + 2 || i == start + 3) ? 0.5f : 0.0f;
            EXPECT_SAME_FLOAT(expected, out[i]) << "start " << start << " step " << i;
        }
    }
}

TEST(LinearDelay, ReadPositionAtTheLastSlotInterpolatesWithSlotZero) {
    tdlinel line(0, 3);
    for (float x : {1.0f, 2.0f, 3.0f, 4.0f}) line.computeSample(x);
    ASSERT_EQ(0, line.writeIndex);
    line.setDelay(1.25f);  // position -1.25 wraps to 2.75
    EXPECT_EQ(2, line.readIndex);
    EXPECT_SAME_FLOAT(0.75f, line.fraction);
    EXPECT_SAME_FLOAT(0.25f, line.oneMinusFraction);
    EXPECT_SAME_FLOAT(3.75f, line.computeSample(8.0f));  // 0.75 * 4 + 0.25 * 3
    EXPECT_EQ(3, line.readIndex);
    EXPECT_SAME_FLOAT(7.0f, line.computeSample(16.0f));  // slot 3 and slot 0: 0.75 * 8 + 0.25 * 4
}

TEST(LinearDelay, ClampingOfLargeNaNAndNegativeRequests) {
    tdlinel line(100, 2206);
    EXPECT_EQ(2207, line.length);
    line.setDelay(5000.0f);
    EXPECT_SAME_FLOAT(2206.0f, line.delay);
    const std::vector<float> out = impulseResponse(line, 2208);
    for (int i = 0; i < 2208; ++i) ASSERT_SAME_FLOAT(i == 2206 ? 1.0f : 0.0f, out[i]) << i;

    for (float request : {std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity(), 3.4e38f}) {
        line.setDelay(request);
        EXPECT_SAME_FLOAT(2206.0f, line.delay);
        expectReadPositionTrailsBy(line, 2206.0);
    }
    for (float request : {-0.25f, -5.0f, -3.4e38f, -std::numeric_limits<float>::infinity()}) {
        line.setDelay(request);
        EXPECT_SAME_FLOAT(0.0f, line.delay);
        EXPECT_EQ(line.writeIndex, line.readIndex);
        EXPECT_SAME_FLOAT(0.0f, line.fraction);
        EXPECT_SAME_FLOAT(0.75f, line.computeSample(0.75f));  // delay 0: the input itself
    }
}

TEST(LinearDelay, LongestDelayAtTheLastWriteSlotReadsSlotZero) {
    tdlinel line(0, 5);
    for (int i = 0; i < 5; ++i) line.computeSample(0.0f);
    ASSERT_EQ(5, line.writeIndex);
    line.setDelay(5.0f);
    EXPECT_EQ(0, line.readIndex);
    EXPECT_SAME_FLOAT(0.0f, line.fraction);
    line.setDelay(9.0f);
    EXPECT_EQ(0, line.readIndex);
    EXPECT_SAME_FLOAT(5.0f, line.delay);

    Tdelay plain(0, 5);
    for (int i = 0; i < 5; ++i) plain.computeSample(0.0f);
    plain.setDelay(5.0f);
    EXPECT_EQ(0, plain.readIndex);
    plain.setDelay(9.0f);
    EXPECT_EQ(0, plain.readIndex);
}

TEST(LinearDelay, TinyNegativePositionRoundsToSlotZero) {
    // 0 - 1e-10 wraps to 2207 - 1e-10, which rounds to exactly 2207 = length: slot 0, fraction 0.
    tdlinel line(0, 2206);
    ASSERT_EQ(0, line.writeIndex);
    line.setDelay(1e-10f);
    EXPECT_EQ(0, line.readIndex);
    EXPECT_SAME_FLOAT(0.0f, line.fraction);
    EXPECT_SAME_FLOAT(1.0f, line.oneMinusFraction);
    EXPECT_SAME_FLOAT(0.5f, line.computeSample(0.5f));
    EXPECT_SAME_FLOAT(0.25f, line.computeSample(0.25f));
}

TEST(LinearDelay, PeekOutputPredictsAndFixesTheNextSample) {
    tdlinel line(0, 20);
    line.setDelay(3.5f);
    for (int i = 0; i < 12; ++i) {
        const float predicted = line.peekOutput();
        EXPECT_SAME_FLOAT(predicted, line.computeSample(static_cast<float>(i * i)));
    }
    // With delay 0 the next input would be the output, but a peek made first fixes the value.
    tdlinel immediate(0, 20);
    EXPECT_SAME_FLOAT(1.0f, immediate.computeSample(1.0f));
    EXPECT_SAME_FLOAT(0.0f, immediate.peekOutput());
    EXPECT_SAME_FLOAT(0.0f, immediate.computeSample(5.0f));
    EXPECT_SAME_FLOAT(9.0f, immediate.computeSample(9.0f));
}

TEST(LinearDelay, SetDelayMovesTheReadPositionOnly) {
    tdlinel line(0, 50);
    for (int i = 0; i < 7; ++i) line.computeSample(static_cast<float>(i));
    for (float d : {0.0f, 0.3f, 6.5f, 12.214655f, 49.0f, 50.0f}) {
        line.setDelay(d);
        expectReadPositionTrailsBy(line, d);
    }
    line.setGain(3.0f);
    line.setDelay(1.0f);
    line.computeSample(2.0f);
    EXPECT_SAME_FLOAT(2.0f, line.computeSample(0.0f));
}
