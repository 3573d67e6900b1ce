// Value-to-text helpers of the host interface: four-character identifiers and the short texts
// that a host shows next to a parameter's name.
//
// The texts are produced with integer arithmetic on the exact binary value, not with printf:
// the separator is always a point, and the text is the same whatever the process's locale and
// whichever C library (glibc, msvcrt) the plug-in is linked against.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vst_plugin/aeffect.h"

// First character in the most significant byte: 'VstP' is 0x56737450. Each character counts as
// an unsigned byte, so a first character at or above 0x80 gives a negative result.
constexpr VstInt32 packFourCharCode(char c1, char c2, char c3, char c4) {
    return static_cast<VstInt32>((std::uint32_t{static_cast<unsigned char>(c1)} << 24) |
                                 (std::uint32_t{static_cast<unsigned char>(c2)} << 16) |
                                 (std::uint32_t{static_cast<unsigned char>(c3)} << 8) |
                                 std::uint32_t{static_cast<unsigned char>(c4)});
}

// Largest number of bytes floatToText writes, terminator included: the largest float has 39
// integer digits, plus a sign, the point and two decimals.
constexpr std::size_t kFloatTextMaxBytes = 44;
// Largest number of bytes dbToText writes, terminator included ("   -oo  " and its zero).
constexpr std::size_t kDbTextMaxBytes = 9;

// Writes value in fixed-point notation with two decimals: the exact decimal expansion is first
// rounded to 18 significant digits, then to two decimals with halves away from zero (0.125
// gives "0.13"). A value that rounds to zero has no sign ("0.00" for -0.004 and for -0.0).
// NaN gives "nan", the infinities "inf" and "-inf". Writes at most kFloatTextMaxBytes bytes.
void floatToText(char* text, float value);

// Writes the value as decibels, 20 * log10(value), with floatToText; a value that is not
// above zero (zero, negative, NaN) gives "   -oo  ". Writes at most kDbTextMaxBytes bytes.
void dbToText(char* text, float value);
