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

// The moment on the monotonic system clock at which timeGetTime() reads
// clockValue: the start of that millisecond, taking clockValue as the nearest
// such reading to now (within 2^31 ms either way, as the wrap-around allows).
// A value already read lies in the past. With an injected source the moment
// is counted from now by the difference to the source's present value. Where
// the system clock's millisecond phase is not known (Windows), the moment
// may lie up to a millisecond early.
std::chrono::steady_clock::time_point ClockMoment(std::uint32_t clockValue);

// The low 32 bits of the high-resolution performance counter (the
// random generator's seed for the shake).
std::uint32_t PerformanceCounterLow32();

// Blocks the calling thread for at least the given number of milliseconds,
// or does what a test put in its place.
void Sleep(std::uint32_t milliseconds);

// Replaces what Sleep does (a test advances its injected clock instead of
// waiting); an empty function restores the system's sleep.
using TSleepFunction = std::function<void(std::uint32_t milliseconds)>;
void SetSleepFunction(TSleepFunction sleep);

#ifdef K58_TRACE_TIMING
// Benchmark builds only (CMake option K58_TRACE_TIMING): appends the line
// "<kind> <monotonic ns> <a> <b> <c>" to the file named by the environment
// variable K58_TIMING_TRACE, if set.
void TraceTiming(char kind, std::int64_t a = 0, std::int64_t b = 0, std::int64_t c = 0);
#define K58_TRACE_TIMING_EVENT(...) ::k58::TraceTiming(__VA_ARGS__)
#else
#define K58_TRACE_TIMING_EVENT(...) ((void)0)
#endif

} // namespace k58
