#include "rate/polyphase_filter.h"

#include <algorithm>

#include "rate/windowed_sinc.h"

namespace corvalen::rate {
namespace {

inline float weighedSum(const float* weights, const float* samples, int taps) {
    constexpr int kLanes = PolyphaseFilter::kLanes;
    float sums[kLanes] = {};
    for (int t = 0; t < taps; t += kLanes) {
        for (int lane = 0; lane < kLanes; ++lane)
            sums[lane] += weights[t + lane] * samples[t + lane];
    }
    return ((sums[0] + sums[1]) + (sums[2] + sums[3])) +
           ((sums[4] + sums[5]) + (sums[6] + sums[7]));
}

}  // namespace

PolyphaseFilter::PolyphaseFilter(const RateRatio& ratio, std::int64_t sourceRate,
                                 std::int64_t targetRate)
    : outputStep_(ratio.outputStep()),
      wholeStep_(ratio.sourceStep() / ratio.outputStep()),
      phaseStep_(ratio.sourceStep() % ratio.outputStep()),
      interpolated_(ratio.outputStep() > kMaxExactPhases) {
    const double nyquist = 0.5 * static_cast<double>(std::min(sourceRate, targetRate));
    passBandEdge_ = kPassFraction * nyquist;
    const double source = static_cast<double>(sourceRate);
    const double cutoff = 0.5 * (passBandEdge_ + nyquist) / source;
    const int halfLength =
        WindowedSinc::halfLengthFor((nyquist - passBandEdge_) / source, kAttenuationDb);
    lookahead_ = halfLength;
    taps_ = (2 * halfLength + kLanes - 1) / kLanes * kLanes;
    // Interpolated rows run from phase 0 to a whole source frame, both ends included.
    tabulate(interpolated_ ? kInterpolatedPhases + 1 : outputStep_, cutoff, halfLength);
}

void PolyphaseFilter::tabulate(std::int64_t rows, double cutoff, int halfLength) {
    const WindowedSinc kernel(cutoff, halfLength, kAttenuationDb);
    const double spacing = static_cast<double>(interpolated_ ? kInterpolatedPhases : outputStep_);
    weights_.assign(static_cast<std::size_t>(rows * taps_), 0.0f);
    std::vector<double> row(static_cast<std::size_t>(taps_));
    for (std::int64_t r = 0; r < rows; ++r) {
        const double fraction = static_cast<double>(r) / spacing;
        double sum = 0.0;
        for (int t = 0; t < taps_; ++t) {
            row[t] = kernel(static_cast<double>(t - (taps_ - lookahead_) + 1) - fraction);
            sum += row[t];
        }
        // Every row passes a constant exactly (to rounding), so no phase modulates the level.
        float* out = &weights_[static_cast<std::size_t>(r * taps_)];
        for (int t = 0; t < taps_; ++t) out[t] = static_cast<float>(row[t] / sum);
    }
}

const float* PolyphaseFilter::interpolatedRow(std::int64_t phase, float* scratch) const {
    const std::int64_t scaled = phase * kInterpolatedPhases;
    const std::int64_t below = scaled / outputStep_;
    const float fraction = static_cast<float>(static_cast<double>(scaled % outputStep_) /
                                              static_cast<double>(outputStep_));
    const float* a = &weights_[static_cast<std::size_t>(below * taps_)];
    const float* b = a + taps_;
    for (int t = 0; t < taps_; ++t) scratch[t] = a[t] + (b[t] - a[t]) * fraction;
    return scratch;
}

PolyphaseFilter::Advance PolyphaseFilter::filter(const float* samples, std::int64_t phase,
                                                 int count, float* out, float* scratch) const {
    std::int64_t frames = 0;
    for (int j = 0; j < count; ++j) {
        out[j] = weighedSum(row(phase, scratch), samples + frames, taps_);
        frames += wholeStep_;
        phase += phaseStep_;
        if (phase >= outputStep_) {
            phase -= outputStep_;
            ++frames;
        }
    }
    return {frames, phase};
}

}  // namespace corvalen::rate
