#include "sim/GearChange.h"
#include "sim/LeverActions.h"
#include "sim/SimulationTick.h"
#include "tests/sim/FakeDriveHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "sim/Random.h"

namespace k58 {
namespace {

using test::FakeDriveHost;

class GearChangeTest : public testing::Test {
protected:
    void SetUp() override {
        // The window's 28 components: 15 controls, then the rest.
        for (int i = 0; i < 28; ++i)
            host.components[i] = {i < 15, 100 + i, 50 + i};
        StartDriveTrain(state, host);
        host.played.clear();
    }

    TDriveState state;
    FakeDriveHost host;
};

// The steps one gear change takes, in order, for a window whose components
// are those of SetUp and whose shake draws from a generator seeded with seed.
std::vector<std::string> ExpectedSteps(std::uint32_t seed, std::uint32_t interval,
                                       std::vector<FakeDriveHost::Component> components,
                                       std::int32_t windowLeft, std::int32_t windowTop) {
    std::vector<std::string> steps = {"play 3"};
    for (int i = 0; i < 6; ++i)
        steps.insert(steps.end(), {"pump", "play 0", "sleep 20"});
    steps.push_back("seed " + std::to_string(seed));
    TRandom random;
    random.Randomize(seed);
    const auto lower = [&] {
        interval -= 10;
        steps.push_back("interval " + std::to_string(interval));
    };
    for (int i = 0; i < 16; ++i) {
        lower();
        steps.emplace_back("pump");
        if (!components[i].control)
            continue;
        for (int j = 0; j < 4; ++j) {
            components[i].left += random.Next(5) - 2;
            steps.push_back("left " + std::to_string(i) + " " + std::to_string(components[i].left));
            components[i].top += random.Next(5) - 2;
            steps.push_back("top " + std::to_string(i) + " " + std::to_string(components[i].top));
            steps.emplace_back("pump");
        }
    }
    for (int j = 0; j < 4; ++j) {
        lower();
        steps.emplace_back("pump");
        windowLeft += random.Next(5) - 2;
        steps.push_back("window left " + std::to_string(windowLeft));
        windowTop += random.Next(5) - 2;
        steps.push_back("window top " + std::to_string(windowTop));
        steps.insert(steps.end(), {"pump", "sleep 5"});
    }
    return steps;
}

TEST_F(GearChangeTest, SequenceAndShakeTakeTheirStepsInOrderReseedingAtEachShake) {
    host.beatInterval = 1000;
    host.seed = 777;
    // The first gear change, from gear 1: engaged before its first pump.
    std::optional<bool> engagedBeforeTheFirstPump;
    host.onPump = [&] {
        if (!engagedBeforeTheFirstPump)
            engagedBeforeTheFirstPump = state.Gear == 2 && state.EngineSpeed == 500;
    };
    for (const std::uint32_t seed : {777u, 778u}) {
        const auto components = host.components;
        const std::uint32_t interval = host.beatInterval;
        const auto steps =
            ExpectedSteps(seed, interval, components, host.windowLeft, host.windowTop);
        host.log.clear();
        host.pumps = 0;
        host.slept = 0;
        GearChangeSequence(state, host, 2, 500);
        EXPECT_EQ(host.log, steps) << "gear change with seed " << seed;
        EXPECT_EQ(host.pumps, 90);
        EXPECT_EQ(host.slept, 140u);
        EXPECT_EQ(host.beatInterval, interval - 20 * 10);
    }
    EXPECT_EQ(engagedBeforeTheFirstPump, true);
}

TEST_F(GearChangeTest, ShakeMovesTheFifteenControlsAndTheWindowByAtMostEightPixels) {
    for (int round = 0; round < 50; ++round) {
        FakeDriveHost fresh;
        for (int i = 0; i < 28; ++i)
            fresh.components[i] = {i < 15, 100, 50};
        fresh.seed = static_cast<std::uint32_t>(round * 7919);
        ShakeEffect(fresh);
        for (int i = 0; i < 28; ++i) {
            EXPECT_LE(std::abs(fresh.components[i].left - 100), 8);
            EXPECT_LE(std::abs(fresh.components[i].top - 50), 8);
            if (i >= 15) {
                EXPECT_EQ(fresh.components[i].left, 100);
                EXPECT_EQ(fresh.components[i].top, 50);
            }
        }
        EXPECT_LE(std::abs(fresh.windowLeft - 273), 8);
        EXPECT_LE(std::abs(fresh.windowTop - 229), 8);
    }
}

TEST(ShakeRandomTest, DrawsAreUniformOverTheRange) {
    std::vector<int> seen(5, 0);
    TRandom random;
    random.Randomize(42);
    for (int i = 0; i < 5000; ++i)
        ++seen.at(random.Next(5));
    for (int count : seen)
        EXPECT_NEAR(count, 1000, 150);
}

TEST_F(GearChangeTest, LeverPicksChangeGearOnlyWhenTheGearDiffers) {
    PickLever(state, host, lpI); // gear 1: only the lever moves
    EXPECT_EQ(state.LeverPosition, lpI);
    EXPECT_TRUE(host.played.empty());

    PickLever(state, host, lpII);
    EXPECT_EQ(state.Gear, 2);
    EXPECT_EQ(state.EngineSpeed, 500);
    EXPECT_EQ(host.played.front(), siClunk);

    host.played.clear();
    for (TLeverPosition p : {lpII, lpA, lpB, lpN}) {
        PickLever(state, host, p);
        EXPECT_EQ(state.LeverPosition, p);
        EXPECT_EQ(state.Gear, 2);
    }
    EXPECT_TRUE(host.played.empty());

    state.EngineSpeed = 1234;
    PickLever(state, host, lpI);
    EXPECT_EQ(state.Gear, 1);
    EXPECT_EQ(state.EngineSpeed, 2500);
    EXPECT_EQ(host.played.front(), siClunk);
}

TEST_F(GearChangeTest, APressDuringThePumpingRunsANestedSequenceFirst) {
    state.Gear = 1;
    bool pressed = false;
    host.onPump = [&] {
        if (!pressed && state.Gear == 2) {
            pressed = true;
            PickLever(state, host, lpI); // I in gear 2: back to gear 1 at 2500
        }
    };
    PickLever(state, host, lpII);
    ASSERT_TRUE(pressed);
    // Two clunks, the inner one's six beats before the outer one's last five.
    EXPECT_EQ(std::count(host.played.begin(), host.played.end(), siClunk), 2);
    EXPECT_EQ(std::count(host.played.begin(), host.played.end(), siEngineBeat), 12);
    EXPECT_EQ(host.played[1], siClunk);
    EXPECT_EQ(state.Gear, 1);
    EXPECT_EQ(state.EngineSpeed, 2500);
    EXPECT_EQ(state.LeverPosition, lpI);
    EXPECT_EQ(host.pumps, 180);
}

} // namespace
} // namespace k58
