#include "platform/ProgramModule.h"

#include <dlfcn.h>
#include <unistd.h>

namespace k58 {

std::string ProgramFileName() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return "?";
    const std::string full(path, static_cast<size_t>(length));
    const size_t slash = full.rfind('/');
    return slash == std::string::npos ? full : full.substr(slash + 1);
}

std::uintptr_t ModuleOffset(const void* address) {
    auto value = reinterpret_cast<std::uintptr_t>(address);
    Dl_info info{};
    if (address != nullptr && dladdr(address, &info) != 0 && info.dli_fbase != nullptr)
        value -= reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    return value;
}

} // namespace k58
