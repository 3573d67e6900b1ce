# cmake -DLIBRARY=<shared library> -DNM=<nm> -P check_no_locks.cmake
#
# Fails if an ELF shared library imports any function that blocks or waits: mutexes, condition
# variables, read-write and spin locks, semaphores, C11 locks, futexes and raw system calls,
# thread joins and sleeps. A library that imports none of them cannot take a lock on any path;
# its atomics are lock-free (checked at compile time), so nothing it does can make a thread wait.
cmake_policy(VERSION 3.21)

foreach(var LIBRARY NM)
    if(NOT ${var})
        message(FATAL_ERROR "check_no_locks: ${var} not given")
    endif()
endforeach()

execute_process(COMMAND ${NM} -D --undefined-only ${LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${NM} -D --undefined-only ${LIBRARY} failed")
endif()

set(blocking "^(pthread_(mutex|rwlock|spin|cond|barrier)_[a-z]+|pthread_join|sem_[a-z]+|mtx_[a-z]+|cnd_[a-z]+|__cxa_guard_acquire|syscall|futex|sched_yield|usleep|nanosleep|sleep|clock_nanosleep|flock|lockf|__atomic_[a-z_0-9]+)$")
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(found "")
set(count 0)
foreach(line IN LISTS lines)
    if(line MATCHES "U ([^ @]+)")
        math(EXPR count "${count} + 1")
        if(CMAKE_MATCH_1 MATCHES "${blocking}")
            list(APPEND found "${CMAKE_MATCH_1}")
        endif()
    endif()
endforeach()
if(found)
    message(FATAL_ERROR "${LIBRARY} imports functions that can block: ${found}")
endif()
message(STATUS "${LIBRARY}: none of its ${count} imports can block")
