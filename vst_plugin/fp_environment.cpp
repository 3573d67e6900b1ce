#include "vst_plugin/fp_environment.h"

void maskFloatingPointExceptions() {
#if defined(CORVALEN_HAS_X87)
    writeX87ControlWord(static_cast<std::uint16_t>(readX87ControlWord() | kX87ExceptionMasks));
#endif
#if defined(CORVALEN_HAS_MXCSR)
    writeMxcsr(readMxcsr() | kMxcsrExceptionMasks);
#endif
}
