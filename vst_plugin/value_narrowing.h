// Turning the host's pointer-sized values into the 32-bit numbers the operations take.
#pragma once

#include <cstdint>
#include <limits>

#include "vst_plugin/aeffect.h"

// On a 64-bit host a value can exceed 32 bits. Saturating keeps the value's sign and order, so
// range tests on the narrowed number agree with tests on the original: a huge program number
// stays out of range instead of wrapping into it.
inline VstInt32 saturateToInt32(VstIntPtr value) {
    constexpr VstIntPtr lowest = std::numeric_limits<VstInt32>::min();
    constexpr VstIntPtr highest = std::numeric_limits<VstInt32>::max();
    if (value < lowest) return std::numeric_limits<VstInt32>::min();
    if (value > highest) return std::numeric_limits<VstInt32>::max();
    return static_cast<VstInt32>(value);
}
