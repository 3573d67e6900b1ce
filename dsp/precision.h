#pragma once

// Rounding rules of the sound units, which every unit follows so that the same events give the
// same samples on every build:
//  - Every value a unit stores (sample, coefficient, gain, rate, phase) is a float, rounded
//    where it is stored.
//  - Where a formula calls for a wider intermediate (a double constant, "formed at higher
//    precision"), the code computes it in double and rounds once, through roundToSingle, at
//    the point where the value is stored or passed on.
//  - Everywhere else (filter products and sums, envelope steps, delay-line interpolation) the
//    arithmetic is plain float: one rounding per operation, in the order the expression is
//    written. The build forbids multiply-add contraction and uses SSE on 32-bit x86, so this
//    holds on every target. Carrying those intermediates wider would let two builds drift
//    apart audibly within a phrase, because the string loop feeds its rounding errors back.

#include <cstdint>
#include <cstring>

namespace velquistdsp {

// Every unit computes for this many samples per second, whatever rate a host announces.
constexpr double kSampleRate = 44100.0;
// The angle constant of the units' phase and frequency formulas: the double 6.28318530718,
// deliberately not 2*pi at full precision; the difference shows in the rounded coefficients.
constexpr double kAngleConstant = 6.28318530718;

// The single rounding of a value formed in double.
inline float roundToSingle(double value) {
    return static_cast<float>(value);
}

// The bit pattern of a float: tells +0 from -0 and one NaN from another, where == cannot.
inline std::uint32_t bitPattern(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

}  // namespace velquistdsp
