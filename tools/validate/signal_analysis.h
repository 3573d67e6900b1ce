// Facts about rendered audio that the checks decide on. Pure functions of the samples.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace corvalen::validate {

// One vector of samples per output channel, all of the same length.
using Audio = std::vector<std::vector<float>>;

std::int64_t frameCount(const Audio& audio);

// Samples that a host cannot use: NaN, infinities, and subnormals, which cost a plug-in (and
// every plug-in after it) dearly on x86 and signal a filter left ringing below float range.
struct SampleCensus {
    std::int64_t nan = 0;
    std::int64_t infinite = 0;
    std::int64_t subnormal = 0;
    std::int64_t firstBadFrame = -1;  // first frame holding any of them
    bool clean() const { return nan == 0 && infinite == 0 && subnormal == 0; }
};
SampleCensus takeCensus(const Audio& audio);

// The first frame at which the two differ in any channel, bit for bit (so NaN equals only the
// same NaN); nothing when they are identical. Audio of different length or channel count
// differs at the first frame beyond the shorter one.
std::optional<std::int64_t> firstDifference(const Audio& a, const Audio& b);

// Largest magnitude over all channels in frames [begin, end); NaN counts as infinite.
float peakBetween(const Audio& audio, std::int64_t begin, std::int64_t end);

// The first frame from which every later sample of every channel stays below `threshold` in
// magnitude; nothing when the last frame is still at or above it.
std::optional<std::int64_t> silentFrom(const Audio& audio, float threshold);

float decibelsToAmplitude(double decibels);
double amplitudeToDecibels(double amplitude);

// The median of the values (the mean of the two middle ones for an even count); 0 for none.
double median(std::vector<double> values);

}  // namespace corvalen::validate
