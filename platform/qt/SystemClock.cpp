#include "platform/SystemClock.h"

#include "platform/Clock.h"

#include <ctime>

namespace k58 {
namespace {

std::uint32_t Milliseconds(std::chrono::steady_clock::time_point at) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
    // Keeping the low 32 bits is the wrap-around.
    return static_cast<std::uint32_t>(ms);
}

} // namespace

std::uint32_t SystemTimeGetTime() {
    return Milliseconds(std::chrono::steady_clock::now());
}

std::chrono::steady_clock::time_point SystemClockMoment(std::uint32_t clockValue) {
    // The clock reads the low 32 bits of the whole milliseconds, so the
    // millisecond that began at `whole` reads Milliseconds(now).
    const auto now = std::chrono::steady_clock::now();
    const auto whole = std::chrono::floor<std::chrono::milliseconds>(now);
    const auto ahead = static_cast<std::int32_t>(clockValue - Milliseconds(now));
    return whole + std::chrono::milliseconds(ahead);
}

std::uint32_t PerformanceCounterLow32() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ns = static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
                    static_cast<std::uint64_t>(now.tv_nsec);
    return static_cast<std::uint32_t>(ns);
}

void SystemSleep(std::uint32_t milliseconds) {
    timespec wait{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}

} // namespace k58
