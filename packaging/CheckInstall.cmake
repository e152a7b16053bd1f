# Installs a build into a scratch folder and checks what users get:
#  - exactly the expected files, with the sound module where the installed
#    program looks for it (<prefix>/lib/k58 next to <prefix>/bin);
#  - the desktop entry starts the installed program and names the installed
#    icon, and the AppStream metadata launches that desktop entry;
#  - both files pass their validators when those are on the machine.
# Usage: cmake -DBUILD_DIR=<build> -DSTAGE_DIR=<scratch> [-DSOURCE_DIR=<src>] -P CheckInstall.cmake
cmake_minimum_required(VERSION 3.25)

foreach(var BUILD_DIR STAGE_DIR)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()

set(failures "")
macro(fail text)
    string(APPEND failures "  ${text}\n")
endmacro()

file(REMOVE_RECURSE ${STAGE_DIR})
set(prefix ${STAGE_DIR}/usr)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}")
endif()

set(expected
    bin/k58
    lib/k58/k58-dsound.so
    share/applications/k58.desktop
    share/doc/k58/changelog.gz
    share/doc/k58/copyright
    share/icons/hicolor/32x32/apps/k58.png
    share/man/man6/k58.6.gz
    share/metainfo/cz.k58.K58.metainfo.xml)
file(GLOB_RECURSE installed RELATIVE ${prefix} LIST_DIRECTORIES false ${prefix}/*)
list(SORT installed)
list(SORT expected)
foreach(f IN LISTS expected)
    if(NOT f IN_LIST installed)
        fail("missing: ${f}")
    endif()
endforeach()
foreach(f IN LISTS installed)
    if(NOT f IN_LIST expected)
        fail("not expected in an install: ${f}")
    endif()
endforeach()

if(EXISTS ${prefix}/bin/k58)
    file(GET_RUNTIME_DEPENDENCIES EXECUTABLES ${prefix}/bin/k58
         RESOLVED_DEPENDENCIES_VAR deps UNRESOLVED_DEPENDENCIES_VAR unresolved)
    if(unresolved)
        fail("program needs libraries that are not on this machine: ${unresolved}")
    endif()
    foreach(dep IN LISTS deps)
        if(dep MATCHES "^${BUILD_DIR}" OR (DEFINED SOURCE_DIR AND dep MATCHES "^${SOURCE_DIR}"))
            fail("installed program loads a library from the build tree: ${dep}")
        endif()
    endforeach()
endif()

# The desktop entry must start the installed program and show the installed icon.
set(desktop ${prefix}/share/applications/k58.desktop)
if(EXISTS ${desktop})
    file(STRINGS ${desktop} lines ENCODING UTF-8)
    set(exec "")
    set(icon "")
    foreach(line IN LISTS lines)
        if(line MATCHES "^Exec=([^ ]+)")
            set(exec ${CMAKE_MATCH_1})
        elseif(line MATCHES "^Icon=(.+)$")
            set(icon ${CMAKE_MATCH_1})
        endif()
    endforeach()
    if(NOT exec OR NOT EXISTS ${prefix}/bin/${exec})
        fail("desktop entry's Exec '${exec}' is not an installed program")
    endif()
    if(NOT icon OR NOT EXISTS ${prefix}/share/icons/hicolor/32x32/apps/${icon}.png)
        fail("desktop entry's Icon '${icon}' is not an installed icon")
    endif()
    find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
    if(DESKTOP_FILE_VALIDATE)
        execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${desktop}
                        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
        if(NOT rc EQUAL 0 OR out MATCHES "error:")
            fail("desktop-file-validate: ${out}")
        endif()
    endif()
endif()

set(metainfo ${prefix}/share/metainfo/cz.k58.K58.metainfo.xml)
if(EXISTS ${metainfo})
    file(READ ${metainfo} xml)
    if(NOT xml MATCHES "<launchable type=\"desktop-id\">k58.desktop</launchable>")
        fail("AppStream metadata does not launch k58.desktop")
    endif()
    if(NOT xml MATCHES "<project_license>MIT</project_license>")
        fail("AppStream metadata does not name the MIT licence")
    endif()
    if(xml MATCHES "@[A-Z_]+@")
        fail("AppStream metadata has an unreplaced placeholder")
    endif()
    find_program(APPSTREAMCLI appstreamcli)
    find_program(XMLLINT xmllint)
    if(APPSTREAMCLI)
        execute_process(COMMAND ${APPSTREAMCLI} validate --no-net --pedantic ${metainfo}
                        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
        if(NOT rc EQUAL 0)
            fail("appstreamcli validate: ${out}")
        endif()
    elseif(XMLLINT)
        execute_process(COMMAND ${XMLLINT} --noout ${metainfo}
                        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
        if(NOT rc EQUAL 0)
            fail("xmllint: ${out}")
        endif()
    endif()
endif()

if(failures)
    message(FATAL_ERROR "install check failed:\n${failures}")
endif()
message(STATUS "install layout OK: ${expected}")
