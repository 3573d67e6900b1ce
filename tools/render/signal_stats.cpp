#include "tools/render/signal_stats.h"

#include <cmath>
#include <cstdio>

namespace corvalen::render {

void SignalStats::write(const float* const* channels, int channelCount, int frames) {
    for (int channel = 0; channel < channelCount; ++channel) {
        for (int frame = 0; frame < frames; ++frame) {
            const float sample = channels[channel][frame];
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
    frames_ += frames;
    samples_ += static_cast<std::int64_t>(frames) * channelCount;
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
