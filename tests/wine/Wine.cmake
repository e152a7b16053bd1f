# Running cross-built Windows test programs through Wine (included from
# tests/CMakeLists.txt). Every ctest run makes one fresh Wine prefix in the
# build folder (fixture "wine_prefix", which also checks that the prefix
# holds what the tests rely on) and ends its wineserver afterwards; all Wine
# tests run in that prefix.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(K58_WINE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(K58_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
file(STRINGS ${K58_WINE_DIR}/wine.env K58_WINE_SETTINGS REGEX "^[A-Z_]+=")
set(K58_WINE_ENVIRONMENT "WINEPREFIX=${K58_WINEPREFIX}" ${K58_WINE_SETTINGS})

add_test(NAME wine_prefix COMMAND bash ${K58_WINE_DIR}/wineprefix.sh ${K58_WINEPREFIX})
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix LABELS wine TIMEOUT 300)
add_test(NAME wine_prefix_stop COMMAND bash ${K58_WINE_DIR}/wineprefix.sh --stop ${K58_WINEPREFIX})
set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine_prefix LABELS wine TIMEOUT 60)

# k58_add_wine_test(<name> COMMAND <program or command> [args...] [LABELS ...])
# A test in the run's prefix. A target given as the command runs through Wine
# (the toolchain's emulator); a host command (python3 with winekit.py, say)
# starts Wine itself with the environment this sets. Further settings go on
# top with set_property(TEST <name> APPEND PROPERTY ENVIRONMENT ...): setting
# ENVIRONMENT anew would drop the prefix.
function(k58_add_wine_test name)
    cmake_parse_arguments(ARG "" "" "COMMAND;LABELS" ${ARGN})
    add_test(NAME ${name} COMMAND ${ARG_COMMAND} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set(labels wine ${ARG_LABELS})
    set_tests_properties(${name} PROPERTIES
        LABELS "${labels}"
        ENVIRONMENT "${K58_WINE_ENVIRONMENT};PYTHONPATH=${K58_WINE_DIR}"
        FIXTURES_REQUIRED wine_prefix
        TIMEOUT 300)
endfunction()

# k58.exe itself under Wine, each test on a private X display: the window and
# its drive with no sound server (e2e), its sound through a private
# PulseAudio server (sound). They time what they see, so they run one at a
# time, as the Linux build's end-to-end tests do.
foreach(test wine_window:test_wine_window.py:e2e wine_sound:test_wine_sound.py:sound)
    string(REPLACE ":" ";" test ${test})
    list(GET test 0 name)
    list(GET test 1 script)
    list(GET test 2 label)
    k58_add_wine_test(${name} COMMAND ${Python3_EXECUTABLE} ${K58_WINE_DIR}/${script} -v
                      LABELS ${label})
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "K58_EXE=$<TARGET_FILE:k58>"
                 "K58_PLANTED=$<TARGET_FILE:k58_planted_library>")
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK display)
endforeach()

# What a download folder might hold beside k58.exe under the names of the
# system libraries it uses; the window and sound tests start k58.exe beside
# copies of it, which it must not load.
add_library(k58_planted_library MODULE ${K58_WINE_DIR}/PlantedLibrary.cpp)
set_target_properties(k58_planted_library PROPERTIES PREFIX "" OUTPUT_NAME k58-planted
                      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/planted)

# The zip and the installer, made with CPack and checked in the prefix. It
# takes both cores for a few seconds, so it keeps clear of the timed tests.
k58_add_wine_test(wine_packages COMMAND ${Python3_EXECUTABLE} ${K58_WINE_DIR}/test_packages.py -v
                  LABELS packaging)
set_property(TEST wine_packages APPEND PROPERTY ENVIRONMENT
             "K58_BUILD_DIR=${CMAKE_BINARY_DIR}" "K58_VERSION=${PROJECT_VERSION}"
             "K58_CPACK=${CMAKE_CPACK_COMMAND}")
set_tests_properties(wine_packages PROPERTIES RESOURCE_LOCK display)

# Figures of the system's DirectSound under Wine, not a test: run by
# bench/wine-bench.py.
add_executable(wine_sound_figures ${K58_WINE_DIR}/SoundFigures.cpp)
target_link_libraries(wine_sound_figures PRIVATE k58_sound)
