#include "dsp/noise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "dsp/slow_modulator.h"
#include "dsp/sub_noise.h"
#include "tests/support/float_bits.h"

using velquistdsp::randomState;
using velquistdsp::tnoise;
using velquistdsp::tslowmodul;
using velquistdsp::tsubnoise;

namespace {

// The generator is shared by the whole process, so these tests predict draws from whatever
// state it is in: state' = state * 134775813 + 1 mod 2^32, value = (state' >> 17) - 16384,
// divided by 32768.
uint32_t advance(uint32_t state) {
    return state * 134775813u + 1u;
}
float noiseFor(uint32_t state) {
    return static_cast<float>(static_cast<int32_t>(state >> 17) - 16384) / 32768.0f;
}

}  // namespace

TEST(Noise, DrawsFollowTheGeneratorFromItsCurrentState) {
    tnoise noise;
    uint32_t state = randomState();
    for (int i = 0; i < 1000; ++i) {
        state = advance(state);
        const float value = noise.computeSample();
        ASSERT_SAME_FLOAT(noiseFor(state), value);
        ASSERT_EQ(state, randomState());
        ASSERT_GE(value, -0.5f);
        ASSERT_LE(value, 0.499969482421875f);
    }
}

TEST(Noise, NextRandomScalesTheUpperBits) {
    uint32_t state = randomState();
    state = advance(state);
    EXPECT_EQ(static_cast<int32_t>((static_cast<uint64_t>(state) * 10u) >> 32),
              velquistdsp::nextRandom(10));
    state = advance(state);
    EXPECT_EQ(0, velquistdsp::nextRandom(1));
    EXPECT_EQ(state, randomState());
}

TEST(SubNoise, HoldsEachDrawForPeriodMinusOneCalls) {
    tsubnoise held(330);
    EXPECT_EQ(329, held.counter);
    EXPECT_EQ(329, held.holdLength);
    const uint32_t before = randomState();
    for (int call = 1; call <= 328; ++call) ASSERT_SAME_FLOAT(0.0f, held.computeSample()) << call;
    EXPECT_EQ(before, randomState());
    const uint32_t first = advance(before);
    for (int call = 329; call <= 657; ++call) {
        ASSERT_SAME_FLOAT(noiseFor(first), held.computeSample()) << call;
    }
    EXPECT_EQ(first, randomState());
    const uint32_t second = advance(first);
    EXPECT_SAME_FLOAT(noiseFor(second), held.computeSample());  // call 658
    EXPECT_EQ(second, randomState());
    for (int call = 659; call <= 986; ++call) held.computeSample();
    EXPECT_EQ(second, randomState());
    held.computeSample();  // call 987
    EXPECT_EQ(advance(second), randomState());
}

TEST(SubNoise, PeriodTwoDrawsEveryCallAndSmallerPeriodsAreTreatedAsTwo) {
    for (int period : {2, 1, 0, -5}) {
        tsubnoise held(period);
        uint32_t state = randomState();
        for (int i = 0; i < 4; ++i) {
            state = advance(state);
            ASSERT_SAME_FLOAT(noiseFor(state), held.computeSample()) << period;
        }
    }
}

TEST(SlowModulator, Defaults) {
    tslowmodul modulator;
    EXPECT_SAME_FLOAT(0x1.2d97c8p-3f, modulator.phaseStep);  // 6 * 6.28318530718 / 256
    EXPECT_SAME_FLOAT(0.04f, modulator.vibratoGain);
    EXPECT_SAME_FLOAT(0.005f, modulator.randomGain);
    // randomGain * 10 in single: 0.005f * 10 is a tie that rounds to even, just below 0.05f.
    EXPECT_SAME_FLOAT(0x1.999998p-5f, modulator.randomFilter.getGain());
    EXPECT_SAME_FLOAT(0x1.0624p-10f, modulator.randomFilter.numerator[0]);  // 1 - 0.999
    EXPECT_EQ(329, modulator.randomSource.counter);
    modulator.setVibratoRate(6.0f);
    EXPECT_SAME_FLOAT(0x1.2d97c8p-3f, modulator.phaseStep);
    modulator.setVibratoRate(6.12723f);
    EXPECT_SAME_FLOAT(0x1.33fcfap-3f, modulator.phaseStep);
    modulator.setRandomGain(0.5f);
    EXPECT_SAME_FLOAT(5.0f, modulator.randomFilter.getGain());
}

TEST(SlowModulator, FirstOutputsAreTheSineAlone) {
    tslowmodul modulator;
    EXPECT_SAME_FLOAT(0.0f, modulator.computeSample());
    EXPECT_SAME_FLOAT(0x1.80a526p-8f, modulator.computeSample());  // sin(0.14726216) * 0.04
    EXPECT_SAME_FLOAT(0x1.7c7b5ep-7f, modulator.computeSample());  // about 0.0116114
    EXPECT_SAME_FLOAT(modulator.lastSample, 0x1.7c7b5ep-7f);
}

TEST(SlowModulator, RandomPartIsTheHeldDrawThroughTheSmoother) {
    tslowmodul modulator;
    modulator.setVibratoGain(0.0f);
    const uint32_t before = randomState();
    for (int call = 1; call <= 328; ++call) ASSERT_SAME_FLOAT(0.0f, modulator.computeSample());
    const float held = noiseFor(advance(before));
    // One-pole step from rest: b0 * (gain * held), b0 = 1 - 0.999 and gain 10 * 0.005.
    const float expected = 0x1.0624p-10f * (0x1.999998p-5f * held) - (-0.999f * 0.0f);
    EXPECT_SAME_FLOAT(expected, modulator.computeSample());
}

TEST(SlowModulator, SilentWithZeroGainsButStillDrawing) {
    tslowmodul modulator;
    modulator.setVibratoGain(0.0f);
    modulator.setRandomGain(0.0f);
    const uint32_t before = randomState();
    for (int call = 1; call <= 700; ++call) ASSERT_SAME_FLOAT(0.0f, modulator.computeSample());
    EXPECT_EQ(advance(advance(before)), randomState());  // draws on calls 329 and 658
    EXPECT_GT(modulator.phase, 100.0f);
}

TEST(SlowModulator, PhaseFreezesAtTwoToTheTwentySecond) {
    tslowmodul modulator;
    modulator.setRandomGain(0.0f);
    modulator.phase = 4194304.0f - 4.0f * modulator.phaseStep;
    for (int i = 0; i < 40 && modulator.phase < 4194304.0f; ++i) modulator.computeSample();
    ASSERT_SAME_FLOAT(4194304.0f, modulator.phase);
    const float frozen = static_cast<float>(std::sin(4194304.0)) * 0.04f;
    for (int i = 0; i < 100; ++i) {
        ASSERT_SAME_FLOAT(frozen, modulator.computeSample());
        ASSERT_SAME_FLOAT(4194304.0f, modulator.phase);
    }
}
