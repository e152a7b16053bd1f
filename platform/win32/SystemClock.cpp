#include "platform/SystemClock.h"

#include "platform/Clock.h"

#include "platform/win32/Win32.h"

#include <timeapi.h>

namespace k58 {

std::uint32_t SystemTimeGetTime() {
    return ::timeGetTime();
}

std::chrono::steady_clock::time_point SystemClockMoment(std::uint32_t clockValue) {
    const auto now = std::chrono::steady_clock::now();
    const auto ahead = static_cast<std::int32_t>(clockValue - ::timeGetTime());
    return now + std::chrono::milliseconds(ahead);
}

std::uint32_t PerformanceCounterLow32() {
    LARGE_INTEGER counter{};
    if (QueryPerformanceCounter(&counter))
        return static_cast<std::uint32_t>(counter.LowPart);
    return GetTickCount();
}

void SystemSleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

} // namespace k58
