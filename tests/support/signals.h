// What tests measure in rendered samples.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace corvalen::test {

// The bit pattern of a float: the sound is specified to single-precision rounding, so "close"
// is not good enough, and bits also tell +0 from -0.
inline std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Success when both have the same length and every sample the same bits; otherwise the
// message gives the first difference.
::testing::AssertionResult bitEqual(const std::vector<float>& actual,
                                    const std::vector<float>& expected);

// Index of the first sample that is not exactly 0, or -1.
long firstNonZero(const std::vector<float>& samples, std::size_t from = 0);
// Largest magnitude of x[from..to).
double peakMagnitude(const std::vector<float>& x, std::size_t from = 0, std::size_t to = SIZE_MAX);
// How many samples are NaN or infinite.
std::size_t nonFiniteCount(const std::vector<float>& x);
// Period in samples of a steady tone in x from `from` on, searched within 20 % of `expected`:
// the normalised autocorrelation's peak over whole lags, refined by a parabola through the peak
// and its two neighbours.
double measurePeriod(const std::vector<float>& x, std::size_t from, double expected);
// A period measured as above, made precise from the peak near `periods` periods (within 3
// samples of periods x period), so its error is that many times smaller.
double refinePeriod(const std::vector<float>& x, std::size_t from, double period, int periods);

}  // namespace corvalen::test

#define EXPECT_SAME_FLOAT(expected, actual) \
    EXPECT_EQ(::corvalen::test::bitsOf(expected), ::corvalen::test::bitsOf(actual))
#define ASSERT_SAME_FLOAT(expected, actual) \
    ASSERT_EQ(::corvalen::test::bitsOf(expected), ::corvalen::test::bitsOf(actual))
