#include "dsp/envelope.h"

#include <gtest/gtest.h>

#include "dsp/adsr.h"
#include "tests/support/float_bits.h"

using velquistdsp::tadsr;
using velquistdsp::tenvelope;

TEST(Envelope, RestsUntilKeyed) {
    tenvelope envelope;
    EXPECT_SAME_FLOAT(0.001f, envelope.rate);
    EXPECT_SAME_FLOAT(0.0f, envelope.computeSample());
    EXPECT_EQ(0, envelope.getState());
}

TEST(Envelope, KeyOnRisesByRateAndStopsExactlyOnOne) {
    tenvelope envelope;
    envelope.keyOn();
    EXPECT_EQ(1, envelope.getState());
    float expected = 0.0f;
    for (int i = 1; i <= 1000; ++i) {
        expected = expected + 0.001f;  // the same single-precision steps
        ASSERT_SAME_FLOAT(expected, envelope.computeSample()) << i;
    }
    EXPECT_SAME_FLOAT(0.002f, 0.001f + 0.001f);
    EXPECT_LT(envelope.value, 1.0f);  // the 1000th step falls just short
    EXPECT_EQ(1, envelope.getState());
    EXPECT_SAME_FLOAT(1.0f, envelope.computeSample());
    EXPECT_EQ(0, envelope.getState());
    // Already at 1: keyOn leaves the state alone.
    envelope.keyOn();
    EXPECT_EQ(0, envelope.getState());
}

TEST(Envelope, KeyOffSetTargetSetValueAndRate) {
    tenvelope envelope;
    envelope.setValue(0.5f);
    EXPECT_EQ(0, envelope.getState());
    envelope.setRate(-0.25f);
    EXPECT_SAME_FLOAT(0.25f, envelope.rate);
    envelope.keyOff();
    EXPECT_EQ(1, envelope.getState());
    EXPECT_SAME_FLOAT(0.25f, envelope.computeSample());
    EXPECT_SAME_FLOAT(0.0f, envelope.computeSample());
    EXPECT_EQ(0, envelope.getState());
    envelope.keyOff();
    EXPECT_EQ(0, envelope.getState());  // already at 0
    envelope.setTarget(0.375f);
    EXPECT_SAME_FLOAT(0.25f, envelope.computeSample());
    EXPECT_SAME_FLOAT(0.375f, envelope.computeSample());  // does not overshoot to 0.5
    EXPECT_EQ(0, envelope.getState());
}

TEST(Adsr, NewEnvelopeEndsItsAttackAtOnceAndSettlesAtSustain) {
    tadsr envelope;
    EXPECT_EQ(tadsr::ATTACK, envelope.getState());
    EXPECT_SAME_FLOAT(0.0f, envelope.computeSample());
    EXPECT_EQ(tadsr::DECAY, envelope.getState());
    EXPECT_SAME_FLOAT(0.5f, envelope.computeSample());
    EXPECT_EQ(tadsr::SUSTAIN, envelope.getState());

    tadsr instrumentEnvelope;
    instrumentEnvelope.setTimes(0.02f, 0.005f, 0.9f, 0.01f);
    EXPECT_SAME_FLOAT(0.0f, instrumentEnvelope.computeSample());
    EXPECT_SAME_FLOAT(0.9f, instrumentEnvelope.computeSample());
    EXPECT_SAME_FLOAT(0.9f, instrumentEnvelope.computeSample());
}

TEST(Adsr, SetTimesRates) {
    tadsr envelope;
    envelope.setTimes(0.02f, 0.005f, 0.9f, 0.01f);
    // (1/44100) / t with 1/44100 in double, rounded once: 1/882, 1/220.5 and 1/441.
    EXPECT_SAME_FLOAT(0x1.293726p-10f, envelope.attackRate);
    EXPECT_SAME_FLOAT(0x1.293726p-8f, envelope.decayRate);
    EXPECT_SAME_FLOAT(0.9f, envelope.sustainLevel);
    EXPECT_SAME_FLOAT(0x1.293726p-9f, envelope.releaseRate);
    EXPECT_NEAR(1.0 / 882.0, envelope.attackRate, 1e-10);
    envelope.setAttackTime(-0.02f);
    EXPECT_SAME_FLOAT(0x1.293726p-10f, envelope.attackRate);
    envelope.setSustainLevel(-0.5f);
    EXPECT_SAME_FLOAT(0.0f, envelope.sustainLevel);
}

TEST(Adsr, FullNoteCourse) {
    tadsr envelope;
    envelope.setTimes(0.02f, 0.005f, 0.9f, 0.01f);
    envelope.keyOff();
    envelope.computeSample();
    envelope.computeSample();
    ASSERT_EQ(tadsr::DONE, envelope.getState());
    ASSERT_SAME_FLOAT(0.0f, envelope.value);

    envelope.keyOn();
    float expected = 0.0f;
    int attackSteps = 0;
    while (envelope.getState() == tadsr::ATTACK) {
        const float next = expected + envelope.attackRate;
        expected = next >= 1.0f ? 1.0f : next;
        ASSERT_SAME_FLOAT(expected, envelope.computeSample());
        ++attackSteps;
    }
    EXPECT_EQ(882, attackSteps);  // a full-scale change at 1/882 per sample
    EXPECT_SAME_FLOAT(1.0f, envelope.value);
    EXPECT_SAME_FLOAT(0.9f, envelope.target);

    int decaySteps = 0;
    while (envelope.getState() == tadsr::DECAY) {
        const float next = expected - envelope.decayRate;
        expected = next <= 0.9f ? 0.9f : next;
        ASSERT_SAME_FLOAT(expected, envelope.computeSample());
        ++decaySteps;
    }
    EXPECT_EQ(23, decaySteps);  // 0.1 at 1/220.5 per sample: 22 steps and the clamped one
    EXPECT_EQ(tadsr::SUSTAIN, envelope.getState());
    EXPECT_SAME_FLOAT(0.9f, envelope.computeSample());

    envelope.keyOff();
    int releaseSteps = 0;
    while (envelope.getState() == tadsr::RELEASE) {
        const float next = expected - envelope.releaseRate;
        expected = next <= 0.0f ? 0.0f : next;
        ASSERT_SAME_FLOAT(expected, envelope.computeSample());
        ++releaseSteps;
    }
    EXPECT_EQ(397, releaseSteps);  // 0.9 at 1/441 per sample
    EXPECT_EQ(tadsr::DONE, envelope.getState());
    EXPECT_SAME_FLOAT(0.0f, envelope.computeSample());
}

TEST(Adsr, KeyOnDuringReleaseStartsFromTheCurrentValue) {
    tadsr envelope;
    envelope.setValue(0.5f);
    envelope.keyOff();
    envelope.computeSample();  // 0.5 - 0.01
    envelope.keyOn();
    EXPECT_SAME_FLOAT((0.5f - 0.01f) + 0.001f, envelope.computeSample());
}

TEST(Adsr, KeyOffAtZeroReturnsToDone) {
    tadsr envelope;
    envelope.setValue(0.0f);
    envelope.keyOff();
    EXPECT_EQ(tadsr::RELEASE, envelope.getState());
    EXPECT_SAME_FLOAT(0.0f, envelope.computeSample());
    EXPECT_EQ(tadsr::DONE, envelope.getState());
}

TEST(Adsr, SustainAboveOneLiftsTheFirstDecayStep) {
    tadsr envelope;
    envelope.setSustainLevel(1.5f);
    envelope.setValue(0.9995f);      // also sets sustain to 0.9995 ...
    envelope.setSustainLevel(1.5f);  // ... so put it back above 1
    envelope.keyOn();
    EXPECT_SAME_FLOAT(1.0f, envelope.computeSample());
    EXPECT_EQ(tadsr::DECAY, envelope.getState());
    EXPECT_SAME_FLOAT(1.5f, envelope.computeSample());
    EXPECT_EQ(tadsr::SUSTAIN, envelope.getState());
}

TEST(Adsr, SetTargetMovesTheSustainLevel) {
    tadsr envelope;
    envelope.setTimes(0.02f, 0.005f, 0.9f, 0.01f);
    envelope.setValue(0.9f);

    envelope.setTarget(0.3f);
    EXPECT_EQ(tadsr::DECAY, envelope.getState());
    EXPECT_SAME_FLOAT(0.3f, envelope.sustainLevel);
    EXPECT_SAME_FLOAT(0.9f - envelope.decayRate, envelope.computeSample());
    for (int i = 0; i < 200; ++i) envelope.computeSample();
    EXPECT_EQ(tadsr::SUSTAIN, envelope.getState());
    EXPECT_SAME_FLOAT(0.3f, envelope.value);

    envelope.setValue(0.9f);
    envelope.setTarget(0.95f);
    EXPECT_EQ(tadsr::ATTACK, envelope.getState());
    EXPECT_SAME_FLOAT(0.9f + envelope.attackRate, envelope.computeSample());
    while (envelope.getState() == tadsr::ATTACK) envelope.computeSample();
    EXPECT_SAME_FLOAT(0.95f, envelope.value);
    // The decay step lands below 0.95 and is lifted back to it.
    EXPECT_SAME_FLOAT(0.95f, envelope.computeSample());
    EXPECT_EQ(tadsr::SUSTAIN, envelope.getState());

    // Equal target: only the target changes.
    envelope.setTarget(0.95f);
    EXPECT_EQ(tadsr::SUSTAIN, envelope.getState());

    // A negative target comes to rest at 0.
    envelope.setTarget(-1.0f);
    EXPECT_SAME_FLOAT(0.0f, envelope.sustainLevel);
    for (int i = 0; i < 300; ++i) envelope.computeSample();
    EXPECT_SAME_FLOAT(0.0f, envelope.value);
}

TEST(Adsr, SetRateBeforeKeyOnHasNoEffectButChangesARunningAttack) {
    tadsr envelope;
    envelope.setValue(0.0f);
    envelope.setRate(0.25f);
    envelope.keyOn();
    EXPECT_SAME_FLOAT(envelope.attackRate, envelope.rate);
    EXPECT_SAME_FLOAT(0.001f, envelope.computeSample());
    envelope.setRate(0.25f);
    EXPECT_SAME_FLOAT(0.001f + 0.25f, envelope.computeSample());
}
