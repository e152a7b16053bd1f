// Loading shared libraries at run time. On Linux a bare file name is looked
// for next to the running program first, then in the installed library
// folder (../lib/k58/ relative to the program, or ../lib/games/k58/ for the
// Debian package's games layout), then by the system's default search. On
// Windows a bare file name names a system library and is loaded from the
// system folder only. A name that contains a path separator is loaded as
// given. File names are UTF-8.
// Implemented per platform: qt/DynamicLibrary.cpp (Linux), win32/.
#pragma once

#include <string>

namespace k58 {

using HMODULE = void*;

// Loads the library; nullptr when it cannot be found or loaded.
HMODULE LoadLibrary(const std::string& fileName);
// Looks an exported symbol up; nullptr when the module lacks it.
void* GetProcAddress(HMODULE module, const std::string& name);
// Drops one reference to a loaded library; false if the module was not valid.
bool FreeLibrary(HMODULE module);

// The folder holding the running executable (no trailing '/'); empty if it
// cannot be found.
std::string ExecutableDirectory();
// LoadLibrary with the program's folder given, so the search can be exercised
// without moving the program (on Linux; Windows never looks there).
HMODULE LoadLibraryFrom(const std::string& fileName, const std::string& programDirectory);

} // namespace k58
