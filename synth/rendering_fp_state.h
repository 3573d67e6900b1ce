#pragma once

#include <cstdint>

#if defined(_MSC_VER) && (defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 1))
#include <xmmintrin.h>
#define CORVALEN_MXCSR_INTRINSICS 1
#elif defined(__x86_64__) || (defined(__i386__) && defined(__SSE__))
#define CORVALEN_MXCSR_ASM 1
#endif

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
    static constexpr std::uint32_t kExceptionMasks = 0x3Fu << 7;
    static constexpr std::uint32_t kRoundingControl = 3u << 13;  // 0: to nearest

    RenderingFpState() : callerState(read()) {
        write((callerState & ~kRoundingControl) | kFlushToZero | kDenormalsAreZero |
              kExceptionMasks);
    }
    ~RenderingFpState() { write(callerState); }
    RenderingFpState(const RenderingFpState&) = delete;
    RenderingFpState& operator=(const RenderingFpState&) = delete;

private:
    // The "memory" clobbers keep the compiler from moving the block's loads and stores across
    // the switch.
    static std::uint32_t read() {
#if defined(CORVALEN_MXCSR_ASM)
        std::uint32_t state;
        __asm__ __volatile__("stmxcsr %0" : "=m"(state) : : "memory");
        return state;
#elif defined(CORVALEN_MXCSR_INTRINSICS)
        return _mm_getcsr();
#else
        return 0;
#endif
    }
    static void write(std::uint32_t state) {
#if defined(CORVALEN_MXCSR_ASM)
        __asm__ __volatile__("ldmxcsr %0" : : "m"(state) : "memory");
#elif defined(CORVALEN_MXCSR_INTRINSICS)
        _mm_setcsr(state);
#else
        (void)state;
#endif
    }

    const std::uint32_t callerState;
};
