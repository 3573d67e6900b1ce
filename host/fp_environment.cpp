#include "host/fp_environment.h"

#if defined(__i386__) || defined(__x86_64__)
#define CORVALEN_X86 1
#endif
// MXCSR exists on every x86-64 target and on 32-bit targets built with SSE.
#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE__))
#define CORVALEN_HAS_MXCSR 1
#endif

std::uint16_t readX87ControlWord() {
#if defined(CORVALEN_X86)
    std::uint16_t controlWord = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(controlWord));
    return controlWord;
#else
    return 0;
#endif
}

void writeX87ControlWord(std::uint16_t controlWord) {
#if defined(CORVALEN_X86)
    __asm__ __volatile__("fldcw %0" : : "m"(controlWord));
#else
    (void)controlWord;
#endif
}

std::uint32_t readMxcsr() {
#if defined(CORVALEN_HAS_MXCSR)
    std::uint32_t mxcsr = 0;
    __asm__ __volatile__("stmxcsr %0" : "=m"(mxcsr));
    return mxcsr;
#else
    return 0;
#endif
}

void writeMxcsr(std::uint32_t mxcsr) {
#if defined(CORVALEN_HAS_MXCSR)
    __asm__ __volatile__("ldmxcsr %0" : : "m"(mxcsr));
#else
    (void)mxcsr;
#endif
}

void maskFloatingPointExceptions() {
#if defined(CORVALEN_X86)
    writeX87ControlWord(static_cast<std::uint16_t>(readX87ControlWord() | kX87ExceptionMasks));
#endif
#if defined(CORVALEN_HAS_MXCSR)
    writeMxcsr(readMxcsr() | kMxcsrExceptionMasks);
#endif
}
