#pragma once

#include <cstdint>
#include <cstring>

// Floats are compared by their bit patterns: the units are specified to single-precision
// rounding, so "close" is not good enough, and this also tells +0 from -0.
inline uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

#define EXPECT_SAME_FLOAT(expected, actual) EXPECT_EQ(bitsOf(expected), bitsOf(actual))
#define ASSERT_SAME_FLOAT(expected, actual) ASSERT_EQ(bitsOf(expected), bitsOf(actual))
