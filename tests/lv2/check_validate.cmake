# cmake -DVALIDATE=<lv2_validate> "-DFILES=<ttl files>" -P check_validate.cmake
#
# lv2_validate checks the bundle's ttl against LV2's own vocabulary files. Its exit code alone is
# not enough: it also prints warnings (a property LV2 does not define, a value of the wrong
# type) and exits 0, so the check also wants "Found 0 errors" and no warning line.
cmake_policy(VERSION 3.21)
execute_process(COMMAND ${VALIDATE} ${FILES} OUTPUT_VARIABLE out ERROR_VARIABLE err
                RESULT_VARIABLE rc)
message(STATUS "${out}${err}")
if(NOT rc EQUAL 0 OR NOT "${out}${err}" MATCHES "Found 0 errors" OR
   "${out}${err}" MATCHES "[Ww]arning")
    message(FATAL_ERROR "lv2_validate (exit ${rc}) finds fault with the bundle")
endif()
