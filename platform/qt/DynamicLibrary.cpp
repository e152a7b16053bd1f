#include "platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <sys/stat.h>

namespace k58 {
namespace {

bool IsFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

HMODULE Open(const std::string& path) {
    return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

} // namespace

std::string ExecutableDirectory() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0)
        return {};
    std::string exe(path, static_cast<std::size_t>(length));
    const auto slash = exe.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

HMODULE LoadLibraryFrom(const std::string& fileName, const std::string& programDirectory) {
    if (fileName.empty())
        return nullptr;
    if (fileName.find('/') != std::string::npos)
        return Open(fileName);
    if (!programDirectory.empty()) {
        // Next to the program (the build tree and a copied program), then the
        // installed layout, <prefix>/bin/k58 with <prefix>/lib/k58/<module>,
        // then the Debian package's games layout, /usr/games/k58 with
        // /usr/lib/games/k58/<module>.
        for (const std::string& candidate :
             {programDirectory + "/" + fileName, programDirectory + "/../lib/k58/" + fileName,
              programDirectory + "/../lib/games/k58/" + fileName}) {
            if (IsFile(candidate))
                return Open(candidate);
        }
    }
    return Open(fileName);
}

HMODULE LoadLibrary(const std::string& fileName) {
    return LoadLibraryFrom(fileName, ExecutableDirectory());
}

void* GetProcAddress(HMODULE module, const std::string& name) {
    if (module == nullptr)
        return nullptr;
    return ::dlsym(module, name.c_str());
}

bool FreeLibrary(HMODULE module) {
    return module != nullptr && ::dlclose(module) == 0;
}

} // namespace k58
