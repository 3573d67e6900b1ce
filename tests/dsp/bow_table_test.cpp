#include "dsp/bow_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/float_bits.h"

using velquistdsp::tbowtbl;

TEST(BowTable, DefaultSlope) {
    tbowtbl bow;
    EXPECT_SAME_FLOAT(0.1f, bow.slope);
    EXPECT_SAME_FLOAT(1.0f, bow.friction(0.0f));
    // 1.75^-4 = 0.10662224..., formed in double and rounded once.
    EXPECT_SAME_FLOAT(0x1.b4b986p-4f, bow.friction(10.0f));
    EXPECT_SAME_FLOAT(0x1.b4b986p-4f, bow.friction(-10.0f));
    EXPECT_SAME_FLOAT(bow.lastValue, bow.friction(-10.0f));
    EXPECT_SAME_FLOAT(1.0f, bow.friction(2.5f));  // |t| = 0.25 is the edge of sticking
}

TEST(BowTable, InstrumentSlope) {
    tbowtbl bow;
    bow.setSlope(3.0f);
    EXPECT_SAME_FLOAT(1.0f, bow.friction(0.0f));
    EXPECT_SAME_FLOAT(1.0f, bow.friction(1.0f / 12.0f));
    EXPECT_SAME_FLOAT(0x1.a53948p-1f, bow.friction(0.1f));   // about 0.8227026
    EXPECT_SAME_FLOAT(0x1.948b10p-3f, bow.friction(0.25f));  // 1.5^-4 = 16/81
    EXPECT_SAME_FLOAT(0x1.948b10p-3f, bow.lastValue);
    EXPECT_SAME_FLOAT(0x1.4b66dcp-8f, bow.friction(1.0f));  // 3.75^-4, about 0.0050568
    EXPECT_NEAR(1.0 / std::pow(3.75, 4), bow.friction(-1.0f), 1e-9);
}

TEST(BowTable, ExtremeInputs) {
    tbowtbl bow;
    bow.setSlope(0.0f);
    EXPECT_SAME_FLOAT(1.0f, bow.friction(1e30f));
    bow.setSlope(3.0f);
    EXPECT_SAME_FLOAT(0.0f, bow.friction(std::numeric_limits<float>::infinity()));
    EXPECT_SAME_FLOAT(0.0f, bow.friction(-std::numeric_limits<float>::infinity()));
    EXPECT_TRUE(std::isnan(bow.friction(std::numeric_limits<float>::quiet_NaN())));
    EXPECT_TRUE(std::isnan(bow.lastValue));
    // A huge finite difference underflows the reciprocal to 0 rather than overflowing.
    EXPECT_SAME_FLOAT(0.0f, bow.friction(3e38f));
}
