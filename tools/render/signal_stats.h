// Level statistics of rendered audio, for the summary after a render.
#pragma once

#include <cstdint>
#include <string>

namespace corvalen::render {

class SignalStats {
public:
    // Adds `frames` interleaved frames; returns true when some of them were NaN or infinite.
    bool add(const float* samples, int channels, int frames);

    std::int64_t frames() const { return frames_; }
    std::int64_t samples() const { return samples_; }
    std::int64_t nonFinite() const { return nonFinite_; }
    // Samples beyond full scale (magnitude above 1), which a PCM file cannot hold.
    std::int64_t clipped() const { return clipped_; }
    // Largest magnitude among the finite samples.
    double peak() const { return peak_; }
    // Root mean square over the finite samples of all channels.
    double rms() const;

private:
    void addSlowly(const float* samples, std::size_t count);

    std::int64_t frames_ = 0;
    std::int64_t samples_ = 0;
    std::int64_t nonFinite_ = 0;
    std::int64_t clipped_ = 0;
    double peak_ = 0.0;
    double sumOfSquares_ = 0.0;
};

// Level in dBFS, "-inf" for 0.
std::string formatDbfs(double level);

// One line: duration, peak, RMS and the NaN/infinity and clipping verdicts.
std::string summaryLine(const SignalStats& stats, int sampleRate);

}  // namespace corvalen::render
