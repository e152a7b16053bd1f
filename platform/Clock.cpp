#include "platform/Clock.h"

#include <utility>

namespace k58 {
namespace {

TClockSource& Source() {
    static TClockSource source;
    return source;
}

std::uint32_t SystemMilliseconds(std::chrono::steady_clock::time_point at) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
    // Keeping the low 32 bits is the wrap-around.
    return static_cast<std::uint32_t>(ms);
}

} // namespace

std::uint32_t timeGetTime() {
    if (const TClockSource& source = Source())
        return source();
    return SystemMilliseconds(std::chrono::steady_clock::now());
}

void SetClockSource(TClockSource source) { Source() = std::move(source); }

void ResetClockSource() { Source() = nullptr; }

bool ClockIsInjected() noexcept { return static_cast<bool>(Source()); }

std::chrono::steady_clock::time_point ClockMomentAfter(std::uint32_t ms) {
    const auto now = std::chrono::steady_clock::now();
    if (ClockIsInjected())
        return now + std::chrono::milliseconds(ms);
    // The count advances on whole milliseconds of the system clock, so the
    // moment is the start of the millisecond ms after the present one.
    const auto whole = std::chrono::floor<std::chrono::milliseconds>(now);
    return whole + std::chrono::milliseconds(ms);
}

} // namespace k58
