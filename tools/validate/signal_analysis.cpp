#include "tools/validate/signal_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace corvalen::validate {

std::int64_t frameCount(const Audio& audio) {
    return audio.empty() ? 0 : static_cast<std::int64_t>(audio.front().size());
}

SampleCensus takeCensus(const Audio& audio) {
    SampleCensus census;
    const std::int64_t frames = frameCount(audio);
    for (std::int64_t frame = 0; frame < frames; ++frame) {
        bool bad = false;
        for (const auto& channel : audio) {
            const float sample = channel[static_cast<std::size_t>(frame)];
            switch (std::fpclassify(sample)) {
                case FP_NAN:
                    ++census.nan;
                    bad = true;
                    break;
                case FP_INFINITE:
                    ++census.infinite;
                    bad = true;
                    break;
                case FP_SUBNORMAL:
                    ++census.subnormal;
                    bad = true;
                    break;
                default:
                    break;
            }
        }
        if (bad && census.firstBadFrame < 0) census.firstBadFrame = frame;
    }
    return census;
}

std::optional<std::int64_t> firstDifference(const Audio& a, const Audio& b) {
    const std::int64_t shorter = std::min(frameCount(a), frameCount(b));
    if (a.size() != b.size()) return 0;
    for (std::int64_t frame = 0; frame < shorter; ++frame) {
        for (std::size_t channel = 0; channel < a.size(); ++channel) {
            const std::size_t i = static_cast<std::size_t>(frame);
            if (std::memcmp(&a[channel][i], &b[channel][i], sizeof(float)) != 0) return frame;
        }
    }
    if (frameCount(a) != frameCount(b)) return shorter;
    return std::nullopt;
}

float peakBetween(const Audio& audio, std::int64_t begin, std::int64_t end) {
    float peak = 0.0f;
    begin = std::max<std::int64_t>(begin, 0);
    end = std::min(end, frameCount(audio));
    for (const auto& channel : audio) {
        for (std::int64_t frame = begin; frame < end; ++frame) {
            const float magnitude = std::fabs(channel[static_cast<std::size_t>(frame)]);
            if (std::isnan(magnitude)) return std::numeric_limits<float>::infinity();
            peak = std::max(peak, magnitude);
        }
    }
    return peak;
}

std::optional<std::int64_t> silentFrom(const Audio& audio, float threshold) {
    std::int64_t frame = frameCount(audio);
    if (frame == 0) return 0;
    while (frame > 0) {
        bool quiet = true;
        for (const auto& channel : audio) {
            // Written so that NaN counts as sound.
            if (!(std::fabs(channel[static_cast<std::size_t>(frame - 1)]) < threshold)) {
                quiet = false;
            }
        }
        if (!quiet) break;
        --frame;
    }
    if (frame == frameCount(audio)) return std::nullopt;
    return frame;
}

float decibelsToAmplitude(double decibels) {
    return static_cast<float>(std::pow(10.0, decibels / 20.0));
}

double amplitudeToDecibels(double amplitude) {
    if (!(amplitude > 0.0)) return -std::numeric_limits<double>::infinity();
    return 20.0 * std::log10(amplitude);
}

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle),
                     values.end());
    const double upper = values[middle];
    if (values.size() % 2 == 1) return upper;
    const double lower =
        *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle));
    return (lower + upper) / 2.0;
}

}  // namespace corvalen::validate
