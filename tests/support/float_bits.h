// Floats compared by their bit patterns: the sound is computed exactly to single-precision
// rounding, so "close" is not good enough, and bits also tell +0 from -0 and one NaN from another.
// Header only, for every test program, fuzz target and benchmark (the macros need GoogleTest).
#pragma once

#include <cstdint>
#include <cstring>

namespace corvalen::test {

inline std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

}  // namespace corvalen::test

#define EXPECT_SAME_FLOAT(expected, actual) \
    EXPECT_EQ(::corvalen::test::bitsOf(expected), ::corvalen::test::bitsOf(actual))
#define ASSERT_SAME_FLOAT(expected, actual) \
    ASSERT_EQ(::corvalen::test::bitsOf(expected), ::corvalen::test::bitsOf(actual))
