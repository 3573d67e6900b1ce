// What tests measure in rendered samples.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tests/support/float_bits.h"

namespace corvalen::test {

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
// measurePeriod refined from the peak near 20 periods: good to a twentieth of what one period's
// peak gives.
double precisePeriod(const std::vector<float>& x, std::size_t from, double expected);
// Where x first reaches `level` in magnitude, in samples, interpolated between samples; -1 if
// never.
double firstCrossing(const std::vector<float>& x, double level);
// Period in samples of the strongest repetition in x[from, from + length) with a lag from
// minLag to maxLag, found the same way; 0 when x is too short for the window and the lags.
double periodBetween(const std::vector<float>& x, std::size_t from, std::size_t length, int minLag,
                     int maxLag);
// Frequency of the strongest period in samples[start, start + length) between minHz and maxHz.
double estimateFrequency(const std::vector<float>& samples, std::size_t start, std::size_t length,
                         double sampleRate, double minHz, double maxHz);

}  // namespace corvalen::test
