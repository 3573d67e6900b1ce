#pragma once

#include <cstdint>

#if defined(_MSC_VER) && (defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 1))
#include <xmmintrin.h>
#define CORVALEN_MXCSR_INTRINSICS 1
#elif defined(__x86_64__) || (defined(__i386__) && defined(__SSE__))
#define CORVALEN_MXCSR_ASM 1
#endif

// Flush-to-zero and denormals-are-zero on the calling thread for the lifetime of the object,
// then the caller's MXCSR back exactly as it was, exception flags included.
//
// A released note decays into a limit cycle of subnormal floats about half a minute later, and
// each subnormal operand costs x86 a micro-code assist: the silent tail would cost about three
// times a sounding note. The state is set in every rendering call because hosts move audio
// between threads (and a new wine thread does not inherit its creator's state), and restored
// because the rest of the host may rely on IEEE gradual underflow.
//
// On targets without MXCSR (non-x86, or 32-bit x86 without SSE) it does nothing.
class DenormalFlushScope {
public:
    static constexpr std::uint32_t kFlushToZero = 1u << 15;
    static constexpr std::uint32_t kDenormalsAreZero = 1u << 6;

    DenormalFlushScope() : callerState(read()) {
        write(callerState | kFlushToZero | kDenormalsAreZero);
    }
    ~DenormalFlushScope() { write(callerState); }
    DenormalFlushScope(const DenormalFlushScope&) = delete;
    DenormalFlushScope& operator=(const DenormalFlushScope&) = delete;

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
