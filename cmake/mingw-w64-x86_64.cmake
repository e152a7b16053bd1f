# Cross-builds K-58 for 64-bit Windows with Debian's mingw-w64 and runs the
# built programs (tests included) through Wine.
#   cmake --preset windows        (or -DCMAKE_TOOLCHAIN_FILE=<this file>)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(K58_MINGW_TRIPLET x86_64-w64-mingw32)

# The -posix variants: the default (win32) thread model of Debian's mingw-w64
# has no std::thread or std::mutex.
set(CMAKE_C_COMPILER ${K58_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${K58_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${K58_MINGW_TRIPLET}-windres)

# Libraries and headers from the target's root only; programs (Python, Wine,
# the build tools) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${K58_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's runtime (libgcc, libstdc++, winpthread) linked in, so a built
# program imports only DLLs that come with Windows.
set(K58_MINGW_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${K58_MINGW_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${K58_MINGW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${K58_MINGW_STATIC_RUNTIME}")

find_program(K58_WINE NAMES wine wine64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${K58_WINE})
