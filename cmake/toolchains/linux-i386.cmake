# 32-bit x86 Linux with the host's gcc in -m32 mode (package g++-multilib).
#
# Declaring the system makes CMake treat the build as a cross build, so GoogleTest is built
# from source for this target and tests run through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

# Many x86-64 kernels cannot execute i386 programs at all; then they run under qemu-i386.
# Whether they can (natively, or through a binfmt_misc entry) is found by running a tiny
# i386 program. The answer is kept in the environment of this CMake process, because the
# toolchain file is read again for every try_compile.
if(NOT DEFINED ENV{CORVALEN_I386_RUNS})
    set(probe_dir ${CMAKE_BINARY_DIR}/CMakeFiles/corvalen-i386-probe)
    file(MAKE_DIRECTORY ${probe_dir})
    file(WRITE ${probe_dir}/probe.c "int main(void) { return 0; }\n")
    execute_process(COMMAND gcc -m32 -o ${probe_dir}/probe ${probe_dir}/probe.c
                    RESULT_VARIABLE probe_built OUTPUT_QUIET ERROR_QUIET)
    set(probe_ran 1)
    if(probe_built EQUAL 0)
        execute_process(COMMAND ${probe_dir}/probe RESULT_VARIABLE probe_ran
                        OUTPUT_QUIET ERROR_QUIET)
    endif()
    if(probe_ran EQUAL 0)
        set(ENV{CORVALEN_I386_RUNS} 1)
    else()
        set(ENV{CORVALEN_I386_RUNS} 0)
    endif()
endif()

if(NOT $ENV{CORVALEN_I386_RUNS})
    find_program(CORVALEN_QEMU_I386 qemu-i386 REQUIRED)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CORVALEN_QEMU_I386})
endif()
