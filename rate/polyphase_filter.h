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
    // frequency (15.2 kHz for 44.1 kHz and above), the stop band starts at that Nyquist
    // frequency, so nothing above it folds back. At 44.1 kHz and above this makes 48 taps: the
    // pass band still holds 15 kHz, where 16 kHz would take 56.
    static constexpr double kAttenuationDb = 110.0;
    static constexpr double kPassFraction = 0.69;
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
    const float* row(std::int64_t phase, float* scratch) const {
        if (!interpolated_) return &weights_[static_cast<std::size_t>(phase * taps_)];
        return interpolatedRow(phase, scratch);
    }

    // Where the output after a run lies: its phase, and how many source frames its first tap
    // lies past the run's first output's.
    struct Advance {
        std::int64_t frames = 0;
        std::int64_t phase = 0;
    };

    // `count` successive outputs into `out`. The first is at `phase` with its first tap on
    // samples[0]; each next one lies sourceStep / outputStep source frames further on. Each
    // output is the sum of weights[t] x samples[t] over its row, in kLanes partial sums (tap t
    // into sum t mod kLanes, in order) combined pairwise, ((0+1)+(2+3))+((4+5)+(6+7)): the
    // same order and so the same result on every build, whether or not the compiler
    // vectorises it. One loop for the whole run keeps the position in registers.
    Advance filter(const float* samples, std::int64_t phase, int count, float* out,
                   float* scratch) const;

private:
    const float* interpolatedRow(std::int64_t phase, float* scratch) const;
    void tabulate(std::int64_t rows, double cutoff, int halfLength);

    std::int64_t outputStep_;
    std::int64_t wholeStep_;  // sourceStep / outputStep
    std::int64_t phaseStep_;  // sourceStep mod outputStep
    bool interpolated_;
    int taps_ = 0;
    int lookahead_ = 0;
    double passBandEdge_ = 0.0;
    std::vector<float> weights_;  // rows of taps_ weights
};

}  // namespace corvalen::rate
