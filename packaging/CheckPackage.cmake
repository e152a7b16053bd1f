# Builds the Debian package from a build folder into a scratch folder and
# checks what apt would install:
#  - lintian reports no error and no warning (its report is printed);
#  - the program is in /usr/games, its sound module in /usr/lib/games/k58, and
#    the desktop entry starts the program there;
#  - the copyright file is in Debian's machine-readable format;
#  - Qt's Wayland plugin is no dependency.
# Usage: cmake -DBUILD_DIR=<build> -DSTAGE_DIR=<scratch> -DCPACK=<cpack> -P CheckPackage.cmake
cmake_minimum_required(VERSION 3.25)

foreach(var BUILD_DIR STAGE_DIR CPACK)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()
find_program(LINTIAN lintian REQUIRED)
find_program(DPKG_DEB dpkg-deb REQUIRED)

set(failures "")
macro(fail text)
    string(APPEND failures "  ${text}\n")
endmacro()

file(REMOVE_RECURSE ${STAGE_DIR})
execute_process(COMMAND ${CPACK} -G DEB -B ${STAGE_DIR} --config ${BUILD_DIR}/CPackConfig.cmake
                WORKING_DIRECTORY ${BUILD_DIR}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB debs ${STAGE_DIR}/*.deb)
list(LENGTH debs count)
if(NOT rc EQUAL 0 OR NOT count EQUAL 1)
    message(FATAL_ERROR "cpack made no single package (${rc}):\n${out}")
endif()

execute_process(COMMAND ${DPKG_DEB} -f ${debs} Depends OUTPUT_VARIABLE depends)
if(depends MATCHES "qt6-wayland")
    fail("the package depends on qt6-wayland: ${depends}")
endif()

set(root ${STAGE_DIR}/root)
execute_process(COMMAND ${DPKG_DEB} -x ${debs} ${root} COMMAND_ERROR_IS_FATAL ANY)
if(NOT EXISTS ${root}/usr/games/k58 OR EXISTS ${root}/usr/bin)
    fail("the program is not in /usr/games alone")
endif()
if(NOT EXISTS ${root}/usr/lib/games/k58/k58-dsound.so OR EXISTS ${root}/usr/lib/k58)
    fail("the sound module is not in /usr/lib/games/k58 alone")
endif()
file(STRINGS ${root}/usr/share/applications/k58.desktop exec REGEX "^Exec=")
if(NOT exec STREQUAL "Exec=/usr/games/k58")
    fail("the desktop entry does not start /usr/games/k58: ${exec}")
endif()
file(READ ${root}/usr/share/doc/k58/copyright copyright)
if(NOT copyright MATCHES "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
   OR NOT copyright MATCHES "\nFiles: \\*\nCopyright: [0-9]+ The K-58 developers\nLicense: Expat\n"
   OR NOT copyright MATCHES "\nLicense: Expat\n Permission is hereby granted")
    fail("the copyright file is not the machine-readable licence:\n${copyright}")
endif()

execute_process(COMMAND ${LINTIAN} --tag-display-limit 0 ${debs}
                OUTPUT_VARIABLE report ERROR_VARIABLE diagnostics)
message(STATUS "lintian:\n${report}")
string(REGEX MATCHALL "(^|\n)[EW]: [^\n]*" errors "${report}")
if(errors)
    fail("lintian reports errors or warnings:${errors}")
endif()

if(failures)
    message(FATAL_ERROR "package check failed:\n${failures}")
endif()
message(STATUS "package OK: ${debs}")
