#include "rate/rate_ratio.h"

#include <numeric>

namespace corvalen::rate {

RateRatio::RateRatio(std::int64_t sourceRate, std::int64_t targetRate) {
    const std::int64_t divisor = std::gcd(sourceRate, targetRate);
    sourceStep_ = sourceRate / divisor;
    outputStep_ = targetRate / divisor;
}

}  // namespace corvalen::rate
