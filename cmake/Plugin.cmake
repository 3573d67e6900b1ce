# corvalen_add_plugin(<target> <sources...>)
#
# Builds a VST 2 plug-in: a shared library whose only export is `main`. The sources define
# corvalenPluginMain (declared in vst_plugin/plugin_entry.h with default visibility); the link step
# gives it the exported name `main`, because a C++ compiler refuses a non-int function of that
# name. Everything else stays hidden, so two plug-ins loaded into one host cannot clash.
include_guard(GLOBAL)

function(corvalen_add_plugin target)
    set(entry corvalenPluginMain)  # the name declared in vst_plugin/plugin_entry.h
    if(NOT ARGN)
        message(FATAL_ERROR "corvalen_add_plugin(${target}): no sources given")
    endif()
    add_library(${target} SHARED ${ARGN})
    target_link_libraries(${target} PRIVATE corvalen_vst_plugin)
    set_target_properties(${target} PROPERTIES
        PREFIX ""
        CXX_VISIBILITY_PRESET hidden
        C_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)

    if(WIN32)
        # mingw: the module-definition file renames the export; -static keeps the DLL free of
        # libstdc++/libgcc/libwinpthread DLLs so a host needs nothing but the system's own.
        # Without a link time in the PE headers (the loader does not read it), two builds of the
        # same source give the same DLL, byte for byte.
        set(def_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_exports.def)
        file(WRITE ${def_file} "EXPORTS\n    main=${entry}\n")
        target_sources(${target} PRIVATE ${def_file})
        target_link_options(${target} PRIVATE -static -Wl,--no-insert-timestamp)
    else()
        # --defsym copies the entry's visibility, which is why the entry itself must be default.
        set(version_script ${CMAKE_CURRENT_BINARY_DIR}/${target}_exports.map)
        file(WRITE ${version_script} "{\n    global: main;\n    local: *;\n};\n")
        target_link_options(${target} PRIVATE
            -Wl,--defsym=main=${entry}
            -Wl,--version-script=${version_script})
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${version_script})
    endif()
endfunction()

# A program that loads the Corvalen library built in this tree, as a host does: the compile
# definition CORVALEN_PLUGIN_PATH names it (the environment variable of the same name overrides
# it at run time; see tests/support/plugin_under_test.h). `path` defaults to the built file.
function(corvalen_use_built_plugin target)
    set(path "$<TARGET_FILE:Corvalen>")
    if(ARGC GREATER 1)
        set(path "${ARGV1}")
    endif()
    target_compile_definitions(${target} PRIVATE CORVALEN_PLUGIN_PATH="${path}")
    add_dependencies(${target} Corvalen)
endfunction()
