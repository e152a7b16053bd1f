// The platform's own millisecond clock, behind timeGetTime() when no test
// clock is injected. Each platform implements it in its SystemClock.cpp.
#pragma once

#include <chrono>
#include <cstdint>

namespace k58 {

// Milliseconds since an arbitrary start, wrapping after 2^32.
std::uint32_t SystemTimeGetTime();

// The moment on the monotonic clock at which SystemTimeGetTime() reads
// clockValue, taken as the nearest such reading to now.
std::chrono::steady_clock::time_point SystemClockMoment(std::uint32_t clockValue);

// Blocks the calling thread for at least the given number of milliseconds.
void SystemSleep(std::uint32_t milliseconds);

} // namespace k58
