#include "platform/ProgramModule.h"

#include "platform/win32/Win32.h"

namespace k58 {

std::string ProgramFileName() {
    const std::wstring full = ProgramPath();
    if (full.empty())
        return "?";
    const size_t slash = full.find_last_of(L"\\/");
    return Utf8(slash == std::wstring::npos ? full : full.substr(slash + 1));
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
