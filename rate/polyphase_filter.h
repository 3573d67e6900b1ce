// The conversion filter, tabulated once at set-up: for each phase of the output grid against
// the source grid, the weights of the source frames around it.
#pragma once

#include <cstdint>
#include <vector>

#include "rate/rate_ratio.h"

namespace corvalen::rate {

class PolyphaseFilter {
public:
    // Depth of the stop band. The pass band ends at kPassFraction of the lower rate's Nyquist
    // frequency (16.0 kHz for 44.1 kHz and above), the stop band starts at that Nyquist
    // frequency, so nothing above it folds back.
    static constexpr double kAttenuationDb = 110.0;
    static constexpr double kPassFraction = 0.725;
    // Up to this many phases every one has its own row; beyond, rows for kInterpolatedPhases
    // evenly spaced phases are interpolated linearly (error below -125 dB at 15 kHz).
    static constexpr std::int64_t kMaxExactPhases = 2048;
    static constexpr std::int64_t kInterpolatedPhases = 1024;
    // Taps come in groups of this many, summed in as many separate partial sums.
    static constexpr int kLanes = 8;

    PolyphaseFilter(const RateRatio& ratio, std::int64_t sourceRate, std::int64_t targetRate);

    // Weights per row, a multiple of kLanes.
    int taps() const { return taps_; }
    // Source frames past an output's position that its weights reach.
    int lookahead() const { return lookahead_; }
    double passBandEdge() const { return passBandEdge_; }  // Hz

    // The weights for an output at source position i + phase / outputStep (0 <= phase <
    // outputStep): tap t weighs source frame i - (taps - lookahead) + 1 + t. `scratch` holds
    // taps() floats and is used when the row is interpolated.
    const float* row(std::int64_t phase, float* scratch) const;

    // sum of weights[t] * samples[t], in kLanes partial sums combined pairwise: the same
    // order on every build, whether or not the compiler vectorises it.
    static float apply(const float* weights, const float* samples, int taps);

private:
    void tabulate(std::int64_t rows, double cutoff, int halfLength);

    std::int64_t outputStep_;
    bool interpolated_;
    int taps_ = 0;
    int lookahead_ = 0;
    double passBandEdge_ = 0.0;
    std::vector<float> weights_;  // rows of taps_ weights
};

}  // namespace corvalen::rate
