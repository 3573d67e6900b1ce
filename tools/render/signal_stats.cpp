#include "tools/render/signal_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace corvalen::render {

bool SignalStats::add(const float* samples, int channels, int frames) {
    const std::size_t count = static_cast<std::size_t>(channels) * static_cast<std::size_t>(frames);
    frames_ += frames;
    samples_ += static_cast<std::int64_t>(count);
    // Fast path in lanes the compiler can vectorise: squares summed in float per slice of at
    // most 1024 samples (their rounding stays far below what a summary shows), then in double.
    // A NaN or infinity anywhere makes the float sum non-finite; that slice is then counted
    // sample by sample.
    bool sawNonFinite = false;
    constexpr std::size_t kSlice = 1024;
    constexpr int kLanes = 8;
    for (std::size_t start = 0; start < count; start += kSlice) {
        const std::size_t length = std::min(kSlice, count - start);
        const float* slice = samples + start;
        float sums[kLanes] = {};
        float peaks[kLanes] = {};
        int over[kLanes] = {};
        std::size_t i = 0;
        for (; i + kLanes <= length; i += kLanes) {
            for (int lane = 0; lane < kLanes; ++lane) {
                const float magnitude = std::fabs(slice[i + lane]);
                sums[lane] += magnitude * magnitude;
                peaks[lane] = magnitude > peaks[lane] ? magnitude : peaks[lane];
                over[lane] += magnitude > 1.0f ? 1 : 0;
            }
        }
        float sum = 0.0f;
        float peak = 0.0f;
        int clipped = 0;
        for (int lane = 0; lane < kLanes; ++lane) {
            sum += sums[lane];
            peak = peaks[lane] > peak ? peaks[lane] : peak;
            clipped += over[lane];
        }
        for (; i < length; ++i) {
            const float magnitude = std::fabs(slice[i]);
            sum += magnitude * magnitude;
            peak = magnitude > peak ? magnitude : peak;
            clipped += magnitude > 1.0f ? 1 : 0;
        }
        if (!std::isfinite(sum)) {
            const std::int64_t before = nonFinite_;
            addSlowly(slice, length);
            sawNonFinite = sawNonFinite || nonFinite_ != before;
            continue;
        }
        sumOfSquares_ += sum;
        clipped_ += clipped;
        if (peak > peak_) peak_ = peak;
    }
    return sawNonFinite;
}

void SignalStats::addSlowly(const float* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const float sample = samples[i];
        if (!std::isfinite(sample)) {
            ++nonFinite_;
            continue;
        }
        const double magnitude = std::fabs(static_cast<double>(sample));
        if (magnitude > 1.0) ++clipped_;
        if (magnitude > peak_) peak_ = magnitude;
        sumOfSquares_ += magnitude * magnitude;
    }
}

double SignalStats::rms() const {
    const std::int64_t finite = samples_ - nonFinite_;
    return finite > 0 ? std::sqrt(sumOfSquares_ / static_cast<double>(finite)) : 0.0;
}

std::string formatDbfs(double level) {
    if (!(level > 0.0)) return "-inf dBFS";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f dBFS", 20.0 * std::log10(level));
    return text;
}

std::string summaryLine(const SignalStats& stats, int sampleRate) {
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.3f s",
                  static_cast<double>(stats.frames()) / static_cast<double>(sampleRate));
    std::string line = std::string(duration) + ", peak " + formatDbfs(stats.peak()) + ", RMS " +
                       formatDbfs(stats.rms()) + ", ";
    line += stats.nonFinite() == 0 ? "no NaN or infinite samples"
                                   : std::to_string(stats.nonFinite()) + " NaN or infinite samples";
    line += stats.clipped() == 0 ? ", no clipping"
                                 : ", " + std::to_string(stats.clipped()) + " clipped samples";
    return line;
}

}  // namespace corvalen::render
