# GoogleTest: Debian's packaged build for native builds; built from Debian's sources
# (/usr/src/googletest) for cross builds, where the packaged libraries do not fit the target.
if(CMAKE_CROSSCOMPILING)
    include(FetchContent)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    FetchContent_Declare(googletest SOURCE_DIR /usr/src/googletest)
    FetchContent_MakeAvailable(googletest)
    if(NOT TARGET GTest::gtest_main)
        add_library(GTest::gtest ALIAS gtest)
        add_library(GTest::gtest_main ALIAS gtest_main)
        add_library(GTest::gmock ALIAS gmock)
    endif()
else()
    find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# Test programs that run under an emulator (qemu-i386, wine) list their tests when CTest runs,
# not when they are built, so a build needs no emulator running.
if(CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()
