# cmake -DOBJDUMP=<objdump> "-DFILES=<archive or object>;..." -P check_sse_arithmetic.cmake
#
# On 32-bit x86 the sound code must compute in SSE registers: x87 arithmetic keeps excess
# precision, so its samples would depend on register allocation and on the host's x87
# precision control, and differ from the x86-64 build. Loading and storing x87 registers is
# fine (32-bit functions return floats in st(0)); arithmetic on them is not.
cmake_policy(VERSION 3.21)

set(x87_arithmetic "fadd|faddp|fiadd|fsub|fsubp|fsubr|fsubrp|fisub|fmul|fmulp|fimul|fdiv|fdivp|fdivr|fdivrp|fidiv|fsqrt|fscale|fprem|fprem1|fsin|fcos|fsincos|fptan|fpatan|f2xm1|fyl2x")
foreach(file IN LISTS FILES)
    execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${file}
                    OUTPUT_VARIABLE code RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "${OBJDUMP} -d ${file} failed")
    endif()
    string(REGEX MATCHALL "\n[ \t]*[0-9a-f]+:[ \t]+(${x87_arithmetic})[ \t\n][^\n]*" found "${code}")
    if(found)
        list(LENGTH found count)
        list(GET found 0 first)
        string(STRIP "${first}" first)
        message(FATAL_ERROR "${file}: ${count} x87 arithmetic instructions, e.g. '${first}'")
    endif()
    string(REGEX MATCHALL "\n[ \t]*[0-9a-f]+:[ \t]+(addss|mulss|subss|divss)[ \t]" sse "${code}")
    list(LENGTH sse sse_count)
    message(STATUS "${file}: no x87 arithmetic, ${sse_count} scalar SSE float operations")
endforeach()
