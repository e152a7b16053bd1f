# GoogleTest for a cross build: compiled from Debian's googletest source
# package with the build's own compiler (the host's libgtest is for the host).
# Gives the GTest::gtest target that find_package(GTest) gives natively.
set(K58_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
if(NOT EXISTS ${K58_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${K58_GOOGLETEST_SOURCE_DIR}: install the googletest package")
endif()

set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# SYSTEM: its headers are not held to our warnings.
add_subdirectory(${K58_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
endif()
