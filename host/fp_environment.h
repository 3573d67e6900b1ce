// Floating-point control state of the calling thread on x86: the x87 control word and the SSE
// MXCSR register. On other architectures the functions do nothing and report 0.
#pragma once

#include <cstdint>

// The six exception-mask bits (invalid, denormal, divide by zero, overflow, underflow,
// precision), the same bit positions in the x87 control word and, shifted by 7, in MXCSR.
constexpr std::uint16_t kX87ExceptionMasks = 0x003F;
constexpr std::uint32_t kMxcsrExceptionMasks = 0x1F80;

// Masks all floating-point exceptions of the calling thread so that arithmetic faults give
// IEEE infinities and NaNs instead of traps. Sets only the mask bits: the x87 precision and
// rounding fields and the MXCSR rounding, flush-to-zero and flag bits stay as they were.
void maskFloatingPointExceptions();

std::uint16_t readX87ControlWord();
void writeX87ControlWord(std::uint16_t controlWord);
std::uint32_t readMxcsr();
void writeMxcsr(std::uint32_t mxcsr);
