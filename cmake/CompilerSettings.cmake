# Compiler settings shared by every target of the project.
#
# Floating point: the instrument is specified down to single-precision rounding, and the same
# events must give the same samples on every build (x86-64, 32-bit x86, Linux and Windows).
#  - no multiply-add contraction: a fused a*b+c rounds once where the code rounds twice;
#  - no fast-math: it reorders sums and drops NaN/infinity handling;
#  - SSE arithmetic on 32-bit x86: the x87 default keeps excess precision in registers, so the
#    result would depend on register allocation and on the host's x87 precision control.
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

add_compile_options(-Wall -Wextra -ffp-contract=off -fno-fast-math)

include(CheckCXXSourceCompiles)
check_cxx_source_compiles("
#if !defined(__i386__)
#error not 32-bit x86
#endif
int main() { return 0; }" CORVALEN_TARGET_I386)
if(CORVALEN_TARGET_I386)
    add_compile_options(-msse2 -mfpmath=sse)
endif()

# Windows: the C and C++ runtimes and winpthreads are linked into each DLL and program, so a
# host loads the plug-in with nothing beside it but system DLLs (KERNEL32.dll, msvcrt.dll).
# (mingw's i686 compiler already realigns the stack on entry, as calls from MSVC-built hosts
# only guarantee 4-byte alignment.)
if(MINGW)
    add_link_options(-static)
endif()

# Sanitizers for the debug presets: CORVALEN_SANITIZE=address,undefined or thread.
set(CORVALEN_SANITIZE "" CACHE STRING "Comma-separated list of sanitizers (address,undefined,thread)")
if(CORVALEN_SANITIZE)
    add_compile_options(-fsanitize=${CORVALEN_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${CORVALEN_SANITIZE})
endif()
