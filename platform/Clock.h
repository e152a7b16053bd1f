// The millisecond clock the idle-driven timer reads.
//
// timeGetTime() counts milliseconds on a monotonic clock as an unsigned
// 32-bit number that wraps after 2^32 ms, so users take differences modulo
// 2^32. Tests replace the source to drive time by hand.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace k58 {

using TClockSource = std::function<std::uint32_t()>;

// Milliseconds from the clock source; by default the monotonic system clock.
std::uint32_t timeGetTime();

// Replaces the clock source; an empty function restores the system clock.
void SetClockSource(TClockSource source);
void ResetClockSource();
bool ClockIsInjected() noexcept;

// The moment on the monotonic system clock at which timeGetTime() will have
// advanced by ms from its present reading. With an injected source this is
// simply ms from now.
std::chrono::steady_clock::time_point ClockMomentAfter(std::uint32_t ms);

} // namespace k58
