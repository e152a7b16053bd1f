# k58_delay_loaded_library(<name> EXPORTS <function>...)
# Makes the library target <name>_delayed: an import library (dlltool's
# delay-load kind) for <name>.dll with these functions, which loads the DLL on
# the first call of one of them instead of when the program starts. The
# program has by then limited the search for libraries to the system folder;
# a DLL imported the usual way is looked for beside the program first, where
# anyone could have put one of that name. A function used but not listed here
# fails to link.
function(k58_delay_loaded_library name)
    cmake_parse_arguments(ARG "" "" "EXPORTS" ${ARGN})
    set(folder ${CMAKE_BINARY_DIR}/delayload)
    list(JOIN ARG_EXPORTS "\n" exports)
    file(CONFIGURE OUTPUT ${folder}/${name}.def CONTENT "LIBRARY ${name}.dll\nEXPORTS\n${exports}\n")
    add_custom_command(OUTPUT ${folder}/lib${name}-delayed.a
        COMMAND ${CMAKE_DLLTOOL} --input-def ${folder}/${name}.def --dllname ${name}.dll
                --output-delaylib ${folder}/lib${name}-delayed.a
        DEPENDS ${folder}/${name}.def)
    add_custom_target(${name}_delayed_import DEPENDS ${folder}/lib${name}-delayed.a)
    add_library(${name}_delayed INTERFACE)
    target_link_libraries(${name}_delayed INTERFACE ${folder}/lib${name}-delayed.a)
    add_dependencies(${name}_delayed ${name}_delayed_import)
endfunction()
