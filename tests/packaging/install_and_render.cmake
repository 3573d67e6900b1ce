# Installs the build into a scratch prefix and checks the result as a user would meet it:
# exactly the expected files, the installed tool's version, and a render of the demo phrase
# with the installed tool and the plug-in it finds on its own, identical to the build tree's.
# The prefix is then moved and the tool run through a symbolic link, so finding the plug-in
# must follow the tool's real location, not the prefix given at install time. With LV2DIR given
# (a build with the LV2 plug-in), the bundle must be installed too, and lv2ls must list the
# plug-in from the scratch prefix alone (LV2_PATH). With PLAYER, corvalen-play and its man page
# must be there too.
function(run_checked output_var)
    execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        list(JOIN ARGN " " command)
        message(FATAL_ERROR "'${command}' failed (${rc}):\n${out}${err}")
    endif()
    set(${output_var} "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run_checked(ignored ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${prefix} ${prefix}/*)
list(SORT installed)
set(expected
    ${BINDIR}/corvalen-render
    ${VSTDIR}/Corvalen.so
    share/doc/corvalen/README.md
    share/doc/corvalen/changelog.gz
    share/doc/corvalen/copyright
    share/man/man1/corvalen-render.1.gz)
if(PLAYER)
    list(APPEND expected ${BINDIR}/corvalen-play share/man/man1/corvalen-play.1.gz)
endif()
if(LV2DIR)
    foreach(file corvalen.so corvalen.ttl manifest.ttl presets.ttl)
        list(APPEND expected ${LV2DIR}/corvalen.lv2/${file})
    endforeach()
endif()
list(SORT expected)
if(NOT installed STREQUAL expected)
    message(FATAL_ERROR "installed files:\n  ${installed}\nexpected:\n  ${expected}")
endif()

set(tool ${prefix}/${BINDIR}/corvalen-render)
run_checked(version ${tool} --version)
if(NOT version STREQUAL "corvalen-render ${VERSION}\n")
    message(FATAL_ERROR "--version printed '${version}', expected 'corvalen-render ${VERSION}'")
endif()

if(PLAYER)
    run_checked(version ${prefix}/${BINDIR}/corvalen-play --version)
    if(NOT version STREQUAL "corvalen-play ${VERSION}\n")
        message(FATAL_ERROR "corvalen-play --version printed '${version}'")
    endif()
endif()

if(LV2DIR)
    run_checked(listed ${CMAKE_COMMAND} -E env LV2_PATH=${prefix}/${LV2DIR} ${LV2LS})
    if(NOT listed STREQUAL "urn:velquist:corvalen\n")
        message(FATAL_ERROR "lv2ls with LV2_PATH=${prefix}/${LV2DIR} listed:\n${listed}")
    endif()
endif()

run_checked(ignored ${BUILD_TOOL} --plugin ${BUILD_PLUGIN} --quiet --output ${WORK_DIR}/built.wav)
run_checked(ignored ${tool} --quiet --output ${WORK_DIR}/installed.wav)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/built.wav
    ${WORK_DIR}/installed.wav RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
    message(FATAL_ERROR "the installed tool and plug-in render the demo differently")
endif()

file(RENAME ${prefix} ${WORK_DIR}/moved)
file(CREATE_LINK ${WORK_DIR}/moved/${BINDIR}/corvalen-render ${WORK_DIR}/link SYMBOLIC)
run_checked(info ${WORK_DIR}/link --info)
string(REGEX MATCH "Library: +([^\n]*) \\(entry point" ignored "${info}")
file(REAL_PATH "${CMAKE_MATCH_1}" loaded)
file(REAL_PATH ${WORK_DIR}/moved/${VSTDIR}/Corvalen.so wanted)
if(NOT loaded STREQUAL wanted)
    message(FATAL_ERROR "the moved tool, run through a link, loaded '${CMAKE_MATCH_1}', "
                        "not ${wanted}:\n${info}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
