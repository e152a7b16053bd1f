#include "platform/SysUtils.h"

namespace k58 {

std::string Format(const std::string& format, std::initializer_list<std::string> args) {
    std::string result;
    result.reserve(format.size() + 32);
    auto arg = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c == '%' && i + 1 < format.size()) {
            const char next = format[i + 1];
            if (next == 's') {
                if (arg != args.end())
                    result += *arg++;
                ++i;
                continue;
            }
            if (next == '%') {
                result += '%';
                ++i;
                continue;
            }
        }
        result += c;
    }
    return result;
}

} // namespace k58
