# cmake -DLIBRARY=<file> -DOBJDUMP=<objdump> -DNM=<nm> -DFORMAT=<bfd format> [-DEXPORT=<name>]
#       -P check_library.cmake
#
# Checks a built plug-in library as a host's loader sees it:
#  - its object format is the target's (elf32-i386, elf64-x86-64, pei-i386, pei-x86-64);
#  - it exports exactly one name, EXPORT (`main` by default; `lv2_descriptor` for the LV2
#    plug-in), as code (nm -D for ELF, the PE export table for DLLs);
#  - a DLL imports only system DLLs, so that a host needs nothing installed beside it;
#  - a DLL carries no link time in its headers, so that two builds give the same bytes.
cmake_policy(VERSION 3.21)
if(NOT EXPORT)
    set(EXPORT main)
endif()

foreach(var LIBRARY OBJDUMP NM FORMAT)
    if(NOT ${var})
        message(FATAL_ERROR "check_library: ${var} not given")
    endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${OBJDUMP} -p ${LIBRARY} failed")
endif()
if(NOT headers MATCHES "file format ([^\n]+)\n")
    message(FATAL_ERROR "no file format in the headers of ${LIBRARY}")
endif()
set(format ${CMAKE_MATCH_1})
if(NOT format STREQUAL FORMAT)
    message(FATAL_ERROR "${LIBRARY} is ${format}, expected ${FORMAT}")
endif()

set(exports "")
if(FORMAT MATCHES "^pei-")
    # The name table of the export directory: lines "\t[   0] name" after its heading.
    string(FIND "${headers}" "[Ordinal/Name Pointer] Table" start)
    if(start GREATER_EQUAL 0)
        string(SUBSTRING "${headers}" ${start} -1 table)
        string(REGEX REPLACE "\n[ \t]*\n.*" "" table "${table}")
        string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" entries "${table}")
        foreach(entry IN LISTS entries)
            string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${entry}")
            list(APPEND exports "${name}")
        endforeach()
    endif()

    string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
    set(system_dlls kernel32.dll msvcrt.dll user32.dll advapi32.dll ntdll.dll ws2_32.dll)
    foreach(import IN LISTS imports)
        string(REPLACE "DLL Name: " "" dll "${import}")
        string(TOLOWER "${dll}" dll_lower)
        if(NOT dll_lower IN_LIST system_dlls)
            message(FATAL_ERROR "${LIBRARY} imports ${dll}, which a host machine may not have")
        endif()
        message(STATUS "imports ${dll}")
    endforeach()

    # The file header's time and the export directory's, both 0.
    if(NOT headers MATCHES "\nTime/Date[ \t]+Thu Jan  1 00:00:00 1970\n" OR
       NOT headers MATCHES "Time/Date stamp[ \t]+0\n")
        message(FATAL_ERROR "${LIBRARY} carries a link time in its headers")
    endif()
else()
    execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                    OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "${NM} -D --defined-only ${LIBRARY} failed")
    endif()
    string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
    foreach(line IN LISTS lines)
        if(line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) ([^ @]+)")
            if(NOT CMAKE_MATCH_1 STREQUAL "T")
                message(FATAL_ERROR "${CMAKE_MATCH_2} is exported as '${CMAKE_MATCH_1}', not as code")
            endif()
            list(APPEND exports "${CMAKE_MATCH_2}")
        endif()
    endforeach()
endif()

if(NOT exports STREQUAL EXPORT)
    message(FATAL_ERROR "${LIBRARY} exports [${exports}]; expected exactly [${EXPORT}]")
endif()
message(STATUS "${LIBRARY}: ${format}, exports only ${EXPORT}")
