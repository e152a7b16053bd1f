#include "platform/ProgramModule.h"

#include "platform/win32/Win32.h"

#include <vector>

namespace k58 {

std::string ProgramFileName() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return "?";
        if (length < path.size()) {
            const std::wstring full(path.data(), length);
            const size_t slash = full.find_last_of(L"\\/");
            return Utf8(slash == std::wstring::npos ? full : full.substr(slash + 1));
        }
        path.resize(path.size() * 2);
    }
}

std::uintptr_t ModuleOffset(const void* address) {
    auto value = reinterpret_cast<std::uintptr_t>(address);
    HMODULE module = nullptr;
    if (address != nullptr &&
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCWSTR>(address), &module) &&
        module != nullptr)
        value -= reinterpret_cast<std::uintptr_t>(module);
    return value;
}

} // namespace k58
