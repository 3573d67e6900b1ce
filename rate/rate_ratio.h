// Which source frame belongs to which output frame: the one integer rule the adapter times
// everything by.
#pragma once

#include <cstdint>

namespace corvalen::rate {

// Integer division rounded towards minus infinity (C++ rounds towards zero).
inline std::int64_t floorDivide(std::int64_t numerator, std::int64_t denominator) {
    const std::int64_t quotient = numerator / denominator;
    return (numerator % denominator != 0 && (numerator < 0) != (denominator < 0)) ? quotient - 1
                                                                                  : quotient;
}

// The two rates as whole numbers reduced by their greatest common divisor: `sourceStep`
// source frames last exactly as long as `outputStep` output frames (44,100 -> 48,000: 147
// and 160).
//
// The rule: output frame n (counted from set-up or reset) corresponds to source frame
//     sourceFrameAt(n) = floor((2 n sourceStep + outputStep) / (2 outputStep)),
// that is n x sourceRate / targetRate rounded to the nearest frame, halves up. It is exact
// (integers only), never decreases, and repeats every outputStep output frames, shifted by
// sourceStep source frames.
class RateRatio {
public:
    RateRatio(std::int64_t sourceRate, std::int64_t targetRate);

    std::int64_t sourceStep() const { return sourceStep_; }
    std::int64_t outputStep() const { return outputStep_; }
    bool isIdentity() const { return sourceStep_ == outputStep_; }

    // n >= 0. Callers keep n below outputStep plus a block, so the products stay small.
    std::int64_t sourceFrameAt(std::int64_t n) const {
        return floorDivide(2 * n * sourceStep_ + outputStep_, 2 * outputStep_);
    }

private:
    std::int64_t sourceStep_;
    std::int64_t outputStep_;
};

}  // namespace corvalen::rate
