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
    EXPECT_LT(elapsed, 2000u);
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

TEST(ClockTest, MomentAfterIsTheStartOfTheMillisecondThatCompletesTheWait) {
    ResetClockSource();
    const auto before = std::chrono::steady_clock::now();
    const std::uint32_t start = timeGetTime();
    const auto after = std::chrono::steady_clock::now();
    const auto moment = ClockMomentAfter(15);
    // Neither a whole millisecond early nor later than needed.
    EXPECT_GT(moment - before, std::chrono::milliseconds(14));
    EXPECT_LE(moment - after, std::chrono::milliseconds(15));
    std::this_thread::sleep_until(moment);
    EXPECT_GE(timeGetTime() - start, 15u);

    // A stale reading is not counted from: the wait starts now.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto late = std::chrono::steady_clock::now();
    EXPECT_GT(ClockMomentAfter(15) - late, std::chrono::milliseconds(14));

    std::uint32_t now = 100;
    SetClockSource([&] { return now; });
    const auto injectedBefore = std::chrono::steady_clock::now();
    EXPECT_GE(ClockMomentAfter(40) - injectedBefore, std::chrono::milliseconds(40));
    ResetClockSource();
}

} // namespace
} // namespace k58
