#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace k58 {
namespace {

TEST(ClockTest, SystemClockAdvancesInMilliseconds) {
    ResetClockSource();
    const std::uint32_t before = timeGetTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::uint32_t elapsed = timeGetTime() - before;
    EXPECT_GE(elapsed, 20u);
}

TEST(ClockTest, InjectedSourceReplacesAndResetRestores) {
    std::uint32_t now = 0xFFFFFFF0u;
    SetClockSource([&] { return now; });
    EXPECT_TRUE(ClockIsInjected());
    EXPECT_EQ(timeGetTime(), 0xFFFFFFF0u);
    now += 0x20; // wraps
    EXPECT_EQ(timeGetTime(), 0x10u);
    EXPECT_EQ(timeGetTime() - 0xFFFFFFF0u, 0x20u);
    ResetClockSource();
    EXPECT_FALSE(ClockIsInjected());
    EXPECT_NE(timeGetTime(), 0x10u);
}

// Where the clock is the system's millisecond counter (Windows), the moment
// its millisecond begins is known only to within that millisecond.
#ifdef _WIN32
constexpr std::uint32_t PhaseSlackMs = 1;
#else
constexpr std::uint32_t PhaseSlackMs = 0;
#endif

TEST(ClockTest, MomentOfAReadingIsTheStartOfThatMillisecondHoweverLateItIsAsked) {
    ResetClockSource();
    const std::uint32_t start = timeGetTime();
    const auto startMoment = ClockMoment(start);
    // Asked after a stall, the moment is still counted from the reading.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto moment = ClockMoment(start + 15);
    EXPECT_GE(moment - startMoment, std::chrono::milliseconds(15 - PhaseSlackMs));
    EXPECT_LE(moment - startMoment, std::chrono::milliseconds(15 + PhaseSlackMs));
    std::this_thread::sleep_until(moment);
    EXPECT_GE(timeGetTime() - start, 15u - PhaseSlackMs);
    // A reading already made lies in the past.
    EXPECT_LT(ClockMoment(start), std::chrono::steady_clock::now());

    std::uint32_t now = 0xFFFFFFF0u;
    SetClockSource([&] { return now; });
    const auto injectedBefore = std::chrono::steady_clock::now();
    EXPECT_GE(ClockMoment(now + 40) - injectedBefore, std::chrono::milliseconds(40));
    EXPECT_LT(ClockMoment(now - 10), injectedBefore);
    ResetClockSource();
}

} // namespace
} // namespace k58
