// The texts of the application object's error boxes, the same on every
// platform.
#include "platform/Application.h"

#include "platform/ProgramModule.h"
#include "platform/SysUtils.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <typeinfo>

namespace k58 {

std::string TApplication::ExceptionText(const std::exception& error) {
    std::string text = error.what();
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    return text;
}

std::string TApplication::ExceptionClassName(const std::exception& error) {
    if (const auto* own = dynamic_cast<const Exception*>(&error))
        return own->ClassName();
    const char* mangled = typeid(error).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = (status == 0 && demangled != nullptr) ? demangled : mangled;
    std::free(demangled);
    return name;
}

std::string TApplication::StartupErrorText(const std::exception& error, const void* address) {
    const std::string message = error.what();
    const std::string end = (!message.empty() && message.back() == '.') ? "" : ".";
    char offset[32];
    std::snprintf(offset, sizeof offset, "%08llX",
                  static_cast<unsigned long long>(ModuleOffset(address)));
    return Format("Exception %s in module %s at %s.\r\n%s%s\r\n",
                  {ExceptionClassName(error), ProgramFileName(), offset, message, end});
}

} // namespace k58
