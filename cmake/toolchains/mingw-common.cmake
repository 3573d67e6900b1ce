# Shared part of the Windows toolchains: mingw-w64 with the posix thread model (the win32
# model of GCC 12 has no std::mutex, which GoogleTest needs), tests run under wine.
# Expects CORVALEN_MINGW_TRIPLE (i686-w64-mingw32 or x86_64-w64-mingw32).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${CORVALEN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVALEN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVALEN_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CORVALEN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# wine through a wrapper that gives every run the same headless prefix and settings, so that
# ctest works the same from the cross script and from a shell.
get_filename_component(corvalen_source_dir ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${corvalen_source_dir}/scripts/cross/wine-run.sh)
