#include "dsp/filter.h"

#include <gtest/gtest.h>

#include "dsp/biquad.h"
#include "dsp/one_pole.h"
#include "tests/support/float_bits.h"

using velquistdsp::TBiquad;
using velquistdsp::tfilter;
using velquistdsp::TOnePole;

TEST(Filter, NewFilterPassesGainScaledInput) {
    tfilter filter;
    EXPECT_SAME_FLOAT(0.0f, filter.lastOutput());
    EXPECT_SAME_FLOAT(0.5f, filter.computeSample(0.5f));
    EXPECT_SAME_FLOAT(0.5f, filter.lastOutput());
    filter.setGain(0.25f);
    EXPECT_SAME_FLOAT(0.25f, filter.getGain());
    EXPECT_SAME_FLOAT(0.5f, filter.computeSample(2.0f));
}

TEST(Filter, SetCoefficientsDividesByLeadingCoefficient) {
    tfilter filter;
    const float twoTaps[2] = {1.0f, 1.0f};
    const float leadingTwo[1] = {2.0f};
    filter.setCoefficients(2, twoTaps, 1, leadingTwo);
    ASSERT_EQ(2, filter.numeratorCount);
    EXPECT_SAME_FLOAT(0.5f, filter.numerator[0]);
    EXPECT_SAME_FLOAT(0.5f, filter.numerator[1]);
    EXPECT_SAME_FLOAT(1.0f, filter.denominator[0]);
    EXPECT_SAME_FLOAT(0.5f, filter.computeSample(1.0f));
    EXPECT_SAME_FLOAT(1.0f, filter.computeSample(1.0f));

    // Every coefficient, the leading one last, is divided by the leading value as passed in.
    const float three[1] = {3.0f};
    const float twoOne[2] = {2.0f, 1.0f};
    filter.setCoefficients(1, three, 2, twoOne);
    EXPECT_SAME_FLOAT(1.5f, filter.numerator[0]);
    EXPECT_SAME_FLOAT(1.0f, filter.denominator[0]);
    EXPECT_SAME_FLOAT(0.5f, filter.denominator[1]);
}

TEST(Filter, DirectFormRecursionUsesBothHistories) {
    // y[n] = x[n] + 0.5 x[n-1] - 0.25 y[n-1] - 0.125 y[n-2]; all values exact in binary.
    tfilter filter;
    const float b[2] = {1.0f, 0.5f};
    const float a[3] = {1.0f, 0.25f, 0.125f};
    filter.setCoefficients(2, b, 3, a);
    EXPECT_SAME_FLOAT(1.0f, filter.computeSample(1.0f));
    EXPECT_SAME_FLOAT(0.25f, filter.computeSample(0.0f));      // 0.5 - 0.25
    EXPECT_SAME_FLOAT(-0.1875f, filter.computeSample(0.0f));   // -0.0625 - 0.125
    EXPECT_SAME_FLOAT(0.015625f, filter.computeSample(0.0f));  // 0.046875 - 0.03125
}

TEST(Filter, HistoriesSurviveOrClearByTheirOwnCount) {
    tfilter filter;
    const float b[2] = {1.0f, 1.0f};
    const float a[2] = {1.0f, 0.0f};
    filter.setCoefficients(2, b, 2, a);
    filter.computeSample(1.0f);
    filter.computeSample(0.5f);
    // Same counts: both histories stay. Element 1 already holds the newest value, which is the
    // previous one for the next step.
    filter.setCoefficients(2, b, 2, a);
    EXPECT_SAME_FLOAT(0.5f, filter.inputs[0]);
    EXPECT_SAME_FLOAT(0.5f, filter.inputs[1]);
    EXPECT_SAME_FLOAT(1.5f, filter.outputs[0]);
    EXPECT_SAME_FLOAT(1.5f, filter.outputs[1]);
    // Only the denominator count changes: outputs cleared, inputs kept.
    const float a3[3] = {1.0f, 0.0f, 0.0f};
    filter.setCoefficients(2, b, 3, a3);
    EXPECT_SAME_FLOAT(0.5f, filter.inputs[0]);
    EXPECT_SAME_FLOAT(0.5f, filter.inputs[1]);
    for (int i = 0; i < 3; ++i) EXPECT_SAME_FLOAT(0.0f, filter.outputs[i]);
    EXPECT_SAME_FLOAT(2.5f, filter.computeSample(2.0f));  // 2 + the kept 0.5
    // Only the numerator count changes: inputs cleared, outputs kept.
    const float b1[1] = {1.0f};
    filter.setCoefficients(1, b1, 3, a3);
    EXPECT_SAME_FLOAT(0.0f, filter.inputs[0]);
    EXPECT_SAME_FLOAT(2.5f, filter.outputs[0]);
    filter.clearState();
    EXPECT_SAME_FLOAT(0.0f, filter.outputs[0]);
    EXPECT_SAME_FLOAT(1.0f, filter.numerator[0]);
}

// Arrays of up to three elements live inside the filter, longer ones on the heap; a count change
// in either direction must give fresh zeroed histories of the new length.
TEST(Filter, HistoriesMoveBetweenInlineAndHeapStorage) {
    tfilter filter;
    const float twoTaps[2] = {1.0f, 1.0f};
    const float fiveTaps[5] = {1.0f, 2.0f, 3.0f, 4.0f, 5.0f};
    const float a1[1] = {1.0f};
    filter.setCoefficients(2, twoTaps, 1, a1);
    filter.computeSample(7.0f);  // leaves 7 in both inline input elements
    filter.setCoefficients(5, fiveTaps, 1, a1);
    // The impulse response of an FIR filter is its taps, then zero.
    EXPECT_SAME_FLOAT(1.0f, filter.computeSample(1.0f));
    for (int i = 1; i < 5; ++i) EXPECT_SAME_FLOAT(fiveTaps[i], filter.computeSample(0.0f));
    EXPECT_SAME_FLOAT(0.0f, filter.computeSample(0.0f));
    filter.computeSample(9.0f);  // leaves 9 in the heap histories
    const float a4[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    filter.setCoefficients(2, twoTaps, 4, a4);
    EXPECT_SAME_FLOAT(1.0f, filter.computeSample(1.0f));  // nothing left of the 7 or the 9
    EXPECT_SAME_FLOAT(2.0f, filter.computeSample(1.0f));
    const float history[4] = {2.0f, 2.0f, 1.0f, 0.0f};  // newest first, element 1 a copy of 0
    for (int i = 0; i < 4; ++i) EXPECT_SAME_FLOAT(history[i], filter.outputs[i]);
}

TEST(Filter, CountsOutsideTheContractLeaveTheFilterUnchanged) {
    tfilter filter;
    const float b[1] = {4.0f};
    filter.setCoefficients(0, b, 1, b);
    filter.setCoefficients(1, b, -3, b);
    filter.setCoefficients(1, nullptr, 1, b);
    EXPECT_EQ(1, filter.numeratorCount);
    EXPECT_EQ(1, filter.denominatorCount);
    EXPECT_SAME_FLOAT(1.0f, filter.numerator[0]);
    EXPECT_SAME_FLOAT(0.5f, filter.computeSample(0.5f));
}

TEST(OnePole, DefaultCoefficientsAndStepResponse) {
    TOnePole filter;
    EXPECT_EQ(1, filter.numeratorCount);
    EXPECT_EQ(2, filter.denominatorCount);
    EXPECT_SAME_FLOAT(0.1f, filter.numerator[0]);
    EXPECT_SAME_FLOAT(-0.9f, filter.denominator[1]);
    // 0.1, 0.19, 0.271, 0.3439, each rounded to single at every step.
    EXPECT_SAME_FLOAT(0x1.99999ap-4f, filter.computeSample(1.0f));
    EXPECT_SAME_FLOAT(0x1.851eb8p-3f, filter.computeSample(1.0f));
    EXPECT_SAME_FLOAT(0x1.158106p-2f, filter.computeSample(1.0f));
    EXPECT_SAME_FLOAT(0x1.602752p-2f, filter.computeSample(1.0f));
    EXPECT_SAME_FLOAT(0x1.602752p-2f, filter.lastOutput());
}

TEST(OnePole, SetPoleKeepsUnityGainAtDc) {
    TOnePole filter;
    filter.setPole(0.55f);
    EXPECT_SAME_FLOAT(1.0f - 0.55f, filter.numerator[0]);
    EXPECT_NEAR(0.45f, filter.numerator[0], 1e-7f);
    EXPECT_SAME_FLOAT(-0.55f, filter.denominator[1]);
    filter.setPole(-0.5f);
    EXPECT_SAME_FLOAT(0.5f, filter.numerator[0]);
    EXPECT_SAME_FLOAT(0.5f, filter.denominator[1]);
    filter.setPole(0.0f);
    EXPECT_SAME_FLOAT(1.0f, filter.numerator[0]);
    EXPECT_SAME_FLOAT(-0.0f, filter.denominator[1]);
    filter.setPole(0.999f);
    EXPECT_SAME_FLOAT(0x1.0624p-10f, filter.numerator[0]);  // 1 - 0.999f, exact in single
    EXPECT_SAME_FLOAT(-0.999f, filter.denominator[1]);
    EXPECT_SAME_FLOAT(1.0f, filter.denominator[0]);
}

TEST(OnePole, GainScalesOnlyNewInputs) {
    TOnePole filter;
    filter.setPole(0.5f);
    filter.setGain(2.0f);
    EXPECT_SAME_FLOAT(2.0f, filter.getGain());
    EXPECT_SAME_FLOAT(1.0f, filter.computeSample(1.0f));  // 0.5 * 2
    filter.setGain(0.0f);
    EXPECT_SAME_FLOAT(0.5f, filter.computeSample(1.0f));  // only the feedback of 1.0 * 0.5
}

TEST(Biquad, NewBiquadPassesGainScaledInput) {
    TBiquad filter;
    EXPECT_EQ(3, filter.numeratorCount);
    EXPECT_EQ(3, filter.denominatorCount);
    EXPECT_SAME_FLOAT(0.75f, filter.computeSample(0.75f));
    filter.setGain(2.0f);
    EXPECT_SAME_FLOAT(-1.0f, filter.computeSample(-0.5f));
}

TEST(Biquad, ResonanceCoefficients) {
    TBiquad filter;
    const float b[3] = {0.25f, 0.5f, 0.75f};
    const float a[3] = {1.0f, 0.0f, 0.0f};
    filter.setCoefficients(3, b, 3, a);
    filter.setResonance(500.0f, 0.85f, false);
    EXPECT_SAME_FLOAT(0.25f, filter.numerator[0]);
    EXPECT_SAME_FLOAT(0.75f, filter.numerator[2]);

    filter.setResonance(500.0f, 0.85f, true);
    // -2 r cos(6.28318530718 * 500 / 44100) rounded once: about -1.6956882.
    EXPECT_SAME_FLOAT(-0x1.b218ap+0f, filter.denominator[1]);
    EXPECT_SAME_FLOAT(0.85f * 0.85f, filter.denominator[2]);
    EXPECT_SAME_FLOAT(0x1.71eb86p-1f, filter.denominator[2]);  // 0.7225
    EXPECT_SAME_FLOAT(0x1.1c28f4p-3f, filter.numerator[0]);    // about 0.13875
    EXPECT_SAME_FLOAT(0.0f, filter.numerator[1]);
    EXPECT_SAME_FLOAT(-0x1.1c28f4p-3f, filter.numerator[2]);
    EXPECT_SAME_FLOAT(1.0f, filter.denominator[0]);

    filter.setZeroesAtDcAndNyquist();
    EXPECT_SAME_FLOAT(1.0f, filter.numerator[0]);
    EXPECT_SAME_FLOAT(0.0f, filter.numerator[1]);
    EXPECT_SAME_FLOAT(-1.0f, filter.numerator[2]);
    EXPECT_SAME_FLOAT(-0x1.b218ap+0f, filter.denominator[1]);
}

TEST(Biquad, ImpulseResponseFollowsTheFixedFormula) {
    // Coefficients exact in binary so that every step has a closed-form value.
    TBiquad filter;
    const float b[3] = {1.0f, 0.0f, -1.0f};
    const float a[3] = {1.0f, -0.5f, 0.25f};
    filter.setCoefficients(3, b, 3, a);
    EXPECT_SAME_FLOAT(1.0f, filter.computeSample(1.0f));
    EXPECT_SAME_FLOAT(0.5f, filter.computeSample(0.0f));      // 0.5 * 1
    EXPECT_SAME_FLOAT(-1.0f, filter.computeSample(0.0f));     // -1 + 0.25 - 0.25
    EXPECT_SAME_FLOAT(-0.625f, filter.computeSample(0.0f));   // -0.5 - 0.125
    EXPECT_SAME_FLOAT(-0.0625f, filter.computeSample(0.0f));  // -0.3125 + 0.25
    EXPECT_SAME_FLOAT(-0.0625f, filter.lastOutput());
}
