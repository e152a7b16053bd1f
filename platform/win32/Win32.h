// The Win32 API for the Windows platform layer's own files. Include it after
// every header of ours: <windows.h> turns names such as PostMessage and
// WM_CREATE into macros, so the few that collide with ours are taken back.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef PostMessage
#undef LoadLibrary
#undef LoadBitmap

#include <string>

namespace k58 {

// UTF-8 to UTF-16 and back, for the system's wide-character calls.
std::wstring Utf16(const std::string& text);
std::string Utf8(const std::wstring& text);

// The running program's file, full path; empty if it cannot be found.
std::wstring ProgramPath();

// The module instance of the program.
HINSTANCE ProgramInstance();

// Registers a window class of this name with the procedure, once per
// program; returns its name for CreateWindowExW.
const wchar_t* WindowClass(const std::wstring& name, WNDPROC procedure, HBRUSH background,
                           HICON icon = nullptr);

} // namespace k58
