# cmake -DRENDER=<render.raw> -DGOLDEN=<file with the expected SHA-256> -P check_render.cmake
#
# Every build, on every target, must render the phrase to the same bytes. The expected hash is
# that of the x86-64 Linux render; scripts/test-cross.sh compares the raw files themselves and
# names the first differing sample.
cmake_policy(VERSION 3.21)

if(NOT EXISTS "${RENDER}")
    message(FATAL_ERROR "no render at ${RENDER}")
endif()
file(SHA256 "${RENDER}" actual)
file(SIZE "${RENDER}" bytes)
file(STRINGS "${GOLDEN}" expected REGEX "^[0-9a-f]+$" LIMIT_COUNT 1)
if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "render ${RENDER} (${bytes} bytes) has SHA-256 ${actual}; "
                        "expected ${expected} from ${GOLDEN}")
endif()
message(STATUS "render matches ${GOLDEN}: ${actual}")
