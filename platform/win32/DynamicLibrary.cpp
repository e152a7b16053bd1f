#include "platform/DynamicLibrary.h"

#include "platform/win32/Win32.h"

#include <string>

namespace k58 {
namespace {

// A system library by bare name, from the system folder only: a library of
// that name beside the program (in a download folder, say) would otherwise
// run inside it. Windows 7 without its loader update (KB2533623) knows no
// search flags; there the system folder's path is given.
HMODULE OpenSystemLibrary(const std::wstring& name) {
    if (::HMODULE module = ::LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
        return module;
    if (::GetLastError() != ERROR_INVALID_PARAMETER)
        return nullptr;
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    return ::LoadLibraryW((std::wstring(folder, length) + L'\\' + name).c_str());
}

} // namespace

std::string ExecutableDirectory() {
    const std::wstring path = ProgramPath();
    const auto separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos)
        return {};
    return Utf8(path.substr(0, separator));
}

HMODULE LoadLibraryFrom(const std::string& fileName, const std::string& programDirectory) {
    (void)programDirectory; // a bare name is a system library, never the program's
    if (fileName.empty())
        return nullptr;
    const std::wstring name = Utf16(fileName);
    if (name.find_first_of(L"\\/:") != std::wstring::npos)
        return ::LoadLibraryW(name.c_str());
    return OpenSystemLibrary(name);
}

HMODULE LoadLibrary(const std::string& fileName) {
    return LoadLibraryFrom(fileName, ExecutableDirectory());
}

void* GetProcAddress(HMODULE module, const std::string& name) {
    if (module == nullptr)
        return nullptr;
    // Through void*: an entry point is handed out untyped, as on Linux.
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<::HMODULE>(module), name.c_str()));
}

bool FreeLibrary(HMODULE module) {
    return module != nullptr && ::FreeLibrary(static_cast<::HMODULE>(module)) != 0;
}

} // namespace k58
