#pragma once

#include <cstdint>

#include "vst_plugin/fp_environment.h"

// The SSE arithmetic state of a rendering call: flush-to-zero and denormals-are-zero on, every
// exception masked, rounding to nearest; on leaving, the caller's MXCSR back exactly as it was,
// exception flags included.
//
// A released note decays into a limit cycle of subnormal floats about half a minute later, and
// each subnormal operand costs x86 a micro-code assist: the silent tail would cost about three
// times a sounding note. The state is set in every rendering call because hosts move audio
// between threads (and a new wine thread does not inherit its creator's state), and restored
// because the rest of the host may rely on IEEE gradual underflow. Masks and rounding are set
// too, since a host thread that unmasked an exception or changed the rounding would otherwise
// trap inside the string or change its samples.
//
// On targets without MXCSR (non-x86, or 32-bit x86 without SSE) it does nothing.
class RenderingFpState {
public:
    static constexpr std::uint32_t kFlushToZero = 1u << 15;
    static constexpr std::uint32_t kDenormalsAreZero = 1u << 6;
    static constexpr std::uint32_t kRoundingControl = 3u << 13;  // 0: to nearest

    // Writing MXCSR serialises the processor, and a write that would store the value already
    // there changes nothing, so on entry it is skipped: hosts whose audio threads already flush
    // subnormals save one of the two writes. The caller's state is written back on return
    // whatever it is now: reading MXCSR to see whether the flags changed costs as much as the
    // write (and, just after a write, stalls for tens of nanoseconds on some processors).
    RenderingFpState() : callerState(readMxcsr()) {
        const std::uint32_t wanted = (callerState & ~kRoundingControl) | kFlushToZero |
                                     kDenormalsAreZero | kMxcsrExceptionMasks;
        if (wanted != callerState) writeMxcsr(wanted);
    }
    ~RenderingFpState() { writeMxcsr(callerState); }
    RenderingFpState(const RenderingFpState&) = delete;
    RenderingFpState& operator=(const RenderingFpState&) = delete;

private:
    const std::uint32_t callerState;
};
