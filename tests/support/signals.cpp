#include "tests/support/signals.h"

#include <algorithm>
#include <cmath>

namespace corvalen::test {

::testing::AssertionResult bitEqual(const std::vector<float>& actual,
                                    const std::vector<float>& expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << "lengths " << actual.size() << " and " << expected.size();
    }
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (bitsOf(actual[i]) != bitsOf(expected[i])) {
            return ::testing::AssertionFailure()
                   << "first difference at sample " << i << ": " << actual[i] << " where "
                   << expected[i] << " was expected";
        }
    }
    return ::testing::AssertionSuccess();
}

long firstNonZero(const std::vector<float>& samples, std::size_t from) {
    for (std::size_t i = from; i < samples.size(); ++i) {
        if (samples[i] != 0.0f) return static_cast<long>(i);
    }
    return -1;
}

double peakMagnitude(const std::vector<float>& x, std::size_t from, std::size_t to) {
    double peak = 0;
    for (std::size_t i = from; i < std::min(to, x.size()); ++i) {
        peak = std::max(peak, std::fabs(static_cast<double>(x[i])));
    }
    return peak;
}

std::size_t nonFiniteCount(const std::vector<float>& x) {
    return static_cast<std::size_t>(
        std::count_if(x.begin(), x.end(), [](float v) { return !std::isfinite(v); }));
}

double periodBetween(const std::vector<float>& x, std::size_t from, std::size_t length, int minLag,
                     int maxLag) {
    if (minLag < 1 || maxLag < minLag ||
        from + length + static_cast<std::size_t>(maxLag) + 2 > x.size()) {
        return 0.0;
    }
    auto correlation = [&](int lag) {
        double sum = 0, a = 0, b = 0;
        for (std::size_t i = from; i < from + length; ++i) {
            sum += double(x[i]) * x[i + lag];
            a += double(x[i]) * x[i];
            b += double(x[i + lag]) * x[i + lag];
        }
        return sum / std::sqrt(a * b);
    };
    int best = 0;
    double bestValue = -2;
    for (int lag = minLag; lag <= maxLag; ++lag) {
        const double value = correlation(lag);
        if (value > bestValue) bestValue = value, best = lag;
    }
    const double left = correlation(best - 1), right = correlation(best + 1);
    const double curvature = left - 2 * bestValue + right;
    return best + (curvature != 0.0 ? 0.5 * (left - right) / curvature : 0.0);
}

double measurePeriod(const std::vector<float>& x, std::size_t from, double expected) {
    const int maxLag = static_cast<int>(expected * 1.2) + 2;
    const std::size_t length = x.size() - from - static_cast<std::size_t>(maxLag) - 1;
    return periodBetween(x, from, length, static_cast<int>(expected * 0.8), maxLag - 1);
}

double refinePeriod(const std::vector<float>& x, std::size_t from, double period, int periods) {
    const int centre = static_cast<int>(std::lround(period * periods));
    const std::size_t length = x.size() - from - static_cast<std::size_t>(centre) - 8;
    return periodBetween(x, from, length, centre - 3, centre + 3) / periods;
}

double precisePeriod(const std::vector<float>& x, std::size_t from, double expected) {
    return refinePeriod(x, from, measurePeriod(x, from, expected), 20);
}

double firstCrossing(const std::vector<float>& x, double level) {
    for (std::size_t i = 1; i < x.size(); ++i) {
        if (std::fabs(x[i]) >= level) {
            const double before = std::fabs(x[i - 1]);
            return static_cast<double>(i - 1) + (level - before) / (std::fabs(x[i]) - before);
        }
    }
    return -1;
}

double estimateFrequency(const std::vector<float>& samples, std::size_t start, std::size_t length,
                         double sampleRate, double minHz, double maxHz) {
    const double period =
        periodBetween(samples, start, length, static_cast<int>(sampleRate / maxHz),
                      static_cast<int>(sampleRate / minHz) + 1);
    return period > 0.0 ? sampleRate / period : 0.0;
}

}  // namespace corvalen::test
