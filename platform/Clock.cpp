#include "platform/Clock.h"

#include "platform/SystemClock.h"

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

TSleepFunction& SleepFunction() {
    static TSleepFunction sleep;
    return sleep;
}

} // namespace

std::uint32_t timeGetTime() {
    if (const TClockSource& source = Source())
        return source();
    return SystemTimeGetTime();
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

void Sleep(std::uint32_t milliseconds) {
    if (const TSleepFunction& sleep = SleepFunction())
        return sleep(milliseconds);
    SystemSleep(milliseconds);
}

void SetSleepFunction(TSleepFunction sleep) {
    SleepFunction() = std::move(sleep);
}

std::chrono::steady_clock::time_point ClockMoment(std::uint32_t clockValue) {
    const auto now = std::chrono::steady_clock::now();
    if (const TClockSource& source = Source())
        return now + std::chrono::milliseconds(static_cast<std::int32_t>(clockValue - source()));
    return SystemClockMoment(clockValue);
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
