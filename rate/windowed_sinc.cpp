#include "rate/windowed_sinc.h"

#include <cmath>

namespace corvalen::rate {
namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

double sinPi(double x) {
    double r = x - 2.0 * std::floor(0.5 * x + 0.5);  // in [-1, 1): sin(pi x) has period 2
    double sign = 1.0;
    if (r < 0.0) r = -r, sign = -1.0;
    if (r > 0.5) r = 1.0 - r;  // sin(pi r) = sin(pi (1 - r))
    const double angle = kPi * r;
    const double square = angle * angle;
    double term = angle;
    double sum = angle;
    // At angle <= pi/2 the 13th term is below 1e-20: a fixed count keeps the order fixed.
    for (int k = 1; k <= 12; ++k) {
        term *= -square / (2.0 * k * (2.0 * k + 1.0));
        sum += term;
    }
    return sign * sum;
}

double besselI0(double x) {
    const double half = 0.5 * x;
    double term = 1.0;
    double sum = 1.0;
    // term = (x/2)^k / k!; 80 terms are enough for x up to 30 (the windows here use about 11).
    for (int k = 1; k <= 80; ++k) {
        term *= half / k;
        sum += term * term;
    }
    return sum;
}

WindowedSinc::WindowedSinc(double cutoff, int halfLength, double attenuationDb)
    : cutoff_(cutoff), halfLength_(halfLength) {
    // Kaiser's rule for the window's shape at depths above 50 dB.
    beta_ = 0.1102 * (attenuationDb - 8.7);
    windowScale_ = 1.0 / besselI0(beta_);
}

int WindowedSinc::halfLengthFor(double transitionWidth, double attenuationDb) {
    const double taps = (attenuationDb - 7.95) / (2.285 * 2.0 * kPi * transitionWidth) + 1.0;
    return static_cast<int>(std::ceil(0.5 * taps));
}

double WindowedSinc::operator()(double offset) const {
    const double position = offset / halfLength_;
    if (position <= -1.0 || position >= 1.0) return 0.0;
    const double window = besselI0(beta_ * std::sqrt(1.0 - position * position)) * windowScale_;
    const double argument = 2.0 * cutoff_ * offset;
    const double sinc = argument == 0.0 ? 1.0 : sinPi(argument) / (kPi * argument);
    return 2.0 * cutoff_ * sinc * window;
}

}  // namespace corvalen::rate
