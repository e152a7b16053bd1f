#include "platform/Clock.h"

#include <utility>

#ifdef K58_TRACE_TIMING
#include <cstdio>
#include <cstdlib>
#endif

namespace k58 {
namespace {

TClockSource& Source() {
    static TClockSource source;
    return source;
}

// The moment of the last reading of the system clock. Read and written on
// the user-interface thread only, like everything that uses the clock.
std::chrono::steady_clock::time_point gLastReading;

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
    gLastReading = std::chrono::steady_clock::now();
    return SystemMilliseconds(gLastReading);
}

void SetClockSource(TClockSource source) {
    Source() = std::move(source);
}

void ResetClockSource() {
    Source() = nullptr;
}

bool ClockIsInjected() noexcept {
    return static_cast<bool>(Source());
}

std::chrono::steady_clock::time_point ClockMomentAfter(std::uint32_t ms) {
    const auto now = std::chrono::steady_clock::now();
    if (ClockIsInjected())
        return now + std::chrono::milliseconds(ms);
    // The count advances on whole milliseconds of the system clock. Counting
    // from the millisecond of the last reading, not of the present moment,
    // keeps a wait computed from that reading exact when a millisecond has
    // begun in between; a reading older than that is not the caller's.
    auto whole = std::chrono::floor<std::chrono::milliseconds>(gLastReading);
    const auto current = std::chrono::floor<std::chrono::milliseconds>(now);
    if (current - whole > std::chrono::milliseconds(1))
        whole = current;
    return whole + std::chrono::milliseconds(ms);
}

#ifdef K58_TRACE_TIMING
void TraceTiming(char kind, std::int64_t a, std::int64_t b, std::int64_t c) {
    const auto at = std::chrono::steady_clock::now().time_since_epoch();
    static std::FILE* file = [] {
        const char* path = std::getenv("K58_TIMING_TRACE");
        std::FILE* opened = path != nullptr ? std::fopen(path, "w") : nullptr;
        // Line by line, so a run ended by a signal still leaves its trace.
        if (opened != nullptr)
            std::setvbuf(opened, nullptr, _IOLBF, 0);
        return opened;
    }();
    if (file == nullptr)
        return;
    std::fprintf(file, "%c %lld %lld %lld %lld\n", kind,
                 static_cast<long long>(std::chrono::nanoseconds(at).count()),
                 static_cast<long long>(a), static_cast<long long>(b), static_cast<long long>(c));
}
#endif

} // namespace k58
