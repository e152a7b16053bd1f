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

TEST_F(GearChangeTest, SequenceAndShakeTakeTheirStepsInOrderReseedingAtEachShake) {
    // A window of three components: a control, another component, a
    // control. The steps are written out for the seed 777.
    host.components = {{true, 100, 50}, {false, 7, 8}, {true, 10, 20}};
    host.beatInterval = 1000;
    host.seed = 777;
    // The first gear change, from gear 1: engaged before its first pump.
    std::optional<bool> engagedBeforeTheFirstPump;
    host.onPump = [&] {
        if (!engagedBeforeTheFirstPump)
            engagedBeforeTheFirstPump = state.Gear == 2 && state.EngineSpeed == 500;
    };
    host.log.clear();
    GearChangeSequence(state, host, 2, 500);
    // clang-format off
    const std::vector<std::string> steps = {
        "play 3",
        "pump", "play 0", "sleep 20", "pump", "play 0", "sleep 20",
        "pump", "play 0", "sleep 20", "pump", "play 0", "sleep 20",
        "pump", "play 0", "sleep 20", "pump", "play 0", "sleep 20",
        "seed 777",
        "interval 990", "pump",
        "left 0 99", "top 0 51", "pump", "left 0 98", "top 0 53", "pump",
        "left 0 96", "top 0 53", "pump", "left 0 96", "top 0 54", "pump",
        "interval 980", "pump",
        "interval 970", "pump",
        "left 2 12", "top 2 20", "pump", "left 2 11", "top 2 19", "pump",
        "left 2 11", "top 2 21", "pump", "left 2 11", "top 2 19", "pump",
        "interval 960", "pump", "window left 271", "window top 229", "pump", "sleep 5",
        "interval 950", "pump", "window left 272", "window top 230", "pump", "sleep 5",
        "interval 940", "pump", "window left 272", "window top 231", "pump", "sleep 5",
        "interval 930", "pump", "window left 270", "window top 231", "pump", "sleep 5"};
    // clang-format on
    EXPECT_EQ(host.log, steps);
    EXPECT_EQ(engagedBeforeTheFirstPump, true);

    // The next shake draws from a new seed.
    host.log.clear();
    GearChangeSequence(state, host, 2, 500);
    ASSERT_GT(host.log.size(), 20u);
    EXPECT_EQ(host.log[19], "seed 778");
}

TEST_F(GearChangeTest, AGearChangeOnTheWholeWindowPumpsAndSleepsAsOftenAsItsStepsSay) {
    // 28 components: the first 16 are visited, the 15 controls jiggle.
    host.beatInterval = 1000;
    GearChangeSequence(state, host, 2, 500);
    EXPECT_EQ(host.pumps, 6 + 16 + 15 * 4 + 4 * 2);
    EXPECT_EQ(host.slept, 6 * 20u + 4 * 5u);
    EXPECT_EQ(host.beatInterval, 1000u - 20 * 10);
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
