// Floating-point control state of the calling thread on x86: the x87 control word and the SSE
// MXCSR register. On other architectures (and MXCSR on 32-bit x86 without SSE) the accessors do
// nothing and read 0.
#pragma once

#include <cstdint>

#if defined(__i386__) || defined(__x86_64__)
#define CORVALEN_HAS_X87 1
#endif
// MXCSR exists on every x86-64 target and on 32-bit targets built with SSE.
#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE__))
#define CORVALEN_HAS_MXCSR 1
#endif

// The six exception-mask bits (invalid, denormal, divide by zero, overflow, underflow,
// precision), the same bit positions in the x87 control word and, shifted by 7, in MXCSR.
constexpr std::uint16_t kX87ExceptionMasks = 0x003F;
constexpr std::uint32_t kMxcsrExceptionMasks = 0x1F80;

// Masks all floating-point exceptions of the calling thread so that arithmetic faults give
// IEEE infinities and NaNs instead of traps. Sets only the mask bits: the x87 precision and
// rounding fields and the MXCSR rounding, flush-to-zero and flag bits stay as they were.
void maskFloatingPointExceptions();

// Inline, so that the rendering calls can switch the state cheaply. The "memory" clobbers keep
// the compiler from moving loads and stores across a change of state.
inline std::uint16_t readX87ControlWord() {
#if defined(CORVALEN_HAS_X87)
    std::uint16_t controlWord = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(controlWord) : : "memory");
    return controlWord;
#else
    return 0;
#endif
}

inline void writeX87ControlWord(std::uint16_t controlWord) {
#if defined(CORVALEN_HAS_X87)
    __asm__ __volatile__("fldcw %0" : : "m"(controlWord) : "memory");
#else
    (void)controlWord;
#endif
}

inline std::uint32_t readMxcsr() {
#if defined(CORVALEN_HAS_MXCSR)
    std::uint32_t mxcsr = 0;
    __asm__ __volatile__("stmxcsr %0" : "=m"(mxcsr) : : "memory");
    return mxcsr;
#else
    return 0;
#endif
}

inline void writeMxcsr(std::uint32_t mxcsr) {
#if defined(CORVALEN_HAS_MXCSR)
    __asm__ __volatile__("ldmxcsr %0" : : "m"(mxcsr) : "memory");
#else
    (void)mxcsr;
#endif
}
