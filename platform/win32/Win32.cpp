#include "platform/win32/Win32.h"

#include <set>

namespace k58 {

HINSTANCE ProgramInstance() {
    return GetModuleHandleW(nullptr);
}

const wchar_t* WindowClass(const std::wstring& name, WNDPROC procedure, HBRUSH background,
                           HICON icon) {
    static std::set<std::wstring> registered;
    auto [entry, added] = registered.insert(name);
    if (added) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = ProgramInstance();
        windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.hbrBackground = background;
        windowClass.hIcon = icon;
        windowClass.lpszClassName = entry->c_str();
        RegisterClassExW(&windowClass);
    }
    return entry->c_str();
}

} // namespace k58
