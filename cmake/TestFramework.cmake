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

# A GoogleTest program that tests the built plug-in through its exported entry point:
#   corvalen_add_plugin_test(target source... [LIBRARIES lib...] [NO_DISCOVERY])
function(corvalen_add_plugin_test target)
    cmake_parse_arguments(ARG "NO_DISCOVERY" "" "LIBRARIES" ${ARGN})
    add_executable(${target} ${ARG_UNPARSED_ARGUMENTS})
    target_link_libraries(${target} PRIVATE corvalen_test_support ${ARG_LIBRARIES}
                                            GTest::gtest_main)
    corvalen_use_built_plugin(${target})
    if(NOT ARG_NO_DISCOVERY)
        gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60)
    endif()
endfunction()
