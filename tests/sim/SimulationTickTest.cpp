#include "sim/SimulationTick.h"
#include "sim/Rounding.h"
#include "sim/Throttle.h"
#include "tests/sim/FakeDriveHost.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <stdexcept>
#include <vector>

namespace k58 {
namespace {

using test::FakeDriveHost;

class TickTest : public testing::Test {
protected:
    void SetUp() override {
        host.width = 600;
        host.cursorX = 550;
        StartDriveTrain(state, host);
    }
    void Tick() { SimulationTick(state, host); }
    std::string Caption(TDriveLabel label) { return host.captions[label]; }

    TDriveState state;
    FakeDriveHost host;
};

TEST(RoundingTest, HalvesGoToTheEvenNeighbourWhateverTheRoundingMode) {
    const struct {
        double value;
        std::int32_t rounded;
    } table[] = {{0.5, 0},   {1.5, 2},   {2.5, 2}, {3.5, 4},           {-2.5, -2},
                 {-7.5, -8}, {5.997, 6}, {2.4, 2}, {1499.50033, 1500}, {-0.4, 0}};
    for (const int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        std::fesetround(mode);
        for (const auto& row : table) {
            // Read through volatile so the compiler cannot round at build time.
            const volatile double value = row.value;
            EXPECT_EQ(RoundHalfEven(value), row.rounded) << row.value << " in mode " << mode;
        }
    }
    std::fesetround(FE_TONEAREST);
}

TEST(StartDriveTrainTest, StartsBothTonesThenEngagesGearOneAtIdle) {
    FakeDriveHost host;
    TDriveState state;
    StartDriveTrain(state, host);
    EXPECT_EQ(host.played, (std::vector<int>{siEngineTone, siRollingTone}));
    EXPECT_EQ(state.Gear, 1);
    EXPECT_EQ(state.EngineSpeed, 500);
    EXPECT_EQ(state.LeverPosition, lpNone);
    EXPECT_EQ(state.RoadSpeed, 0);

    // A tone that fails to start ends the creation handler there: nothing
    // after it is done.
    struct FailingTone : FakeDriveHost {
        void PlaySound(int item) override {
            FakeDriveHost::PlaySound(item);
            throw std::runtime_error("Sound Buffer cannot be made");
        }
    } failing;
    TDriveState untouched;
    EXPECT_THROW(StartDriveTrain(untouched, failing), std::runtime_error);
    EXPECT_EQ(failing.played, (std::vector<int>{siEngineTone}));
    EXPECT_EQ(untouched.Gear, 0);
    EXPECT_EQ(untouched.EngineSpeed, 0);
}

TEST(ThrottleTest, GainRoundingAndLimits) {
    // Gain 15 below 800 or in gear 2, 7 otherwise; 799 and 800 switch.
    EXPECT_EQ(ComputeThrottle(550, 600, 500, 1), 3);
    EXPECT_EQ(ComputeThrottle(550, 600, 799, 1), 3);
    EXPECT_EQ(ComputeThrottle(550, 600, 800, 1), 1);
    EXPECT_EQ(ComputeThrottle(550, 600, 3000, 2), 3);
    // Halves: 0.5 -> 0, 2.5 -> 2, 3.5 -> 4.
    EXPECT_EQ(ComputeThrottle(340, 600, 500, 1), 0);
    EXPECT_EQ(ComputeThrottle(500, 600, 500, 1), 2);
    EXPECT_EQ(ComputeThrottle(580, 600, 500, 1), 4);
    // Right of W counts as W; far left has no limit.
    EXPECT_EQ(ComputeThrottle(5000, 600, 500, 1), 4);
    EXPECT_EQ(ComputeThrottle(5000, 600, 900, 1), 2);
    EXPECT_EQ(ComputeThrottle(-300, 600, 500, 1), -8);
    // An odd width puts the neutral point on a half pixel.
    EXPECT_EQ(ComputeThrottle(287, 575, 500, 1), 0);
}

TEST_F(TickTest, WorkedExampleFirstTwoTicks) {
    EXPECT_EQ(host.played, (std::vector<int>{siEngineTone, siRollingTone}));
    Tick();
    EXPECT_EQ(Caption(TDriveLabel::EngineSpeed), "498");
    EXPECT_EQ(state.EngineSpeed, 500);
    EXPECT_EQ(state.RoadSpeed, 3);
    EXPECT_EQ(Caption(TDriveLabel::Gear), "1");
    EXPECT_EQ(Caption(TDriveLabel::RoadSpeed), "0");
    EXPECT_EQ(host.beatInterval, 250u);
    EXPECT_EQ(host.frequency[siEngineTone], 22000);
    EXPECT_EQ(host.frequency[siRollingTone], 15300);
    EXPECT_FALSE(host.enabled[TLeverAction::AR]);
    EXPECT_EQ(host.draws, 1);

    Tick();
    EXPECT_EQ(Caption(TDriveLabel::EngineSpeed), "498");
    EXPECT_EQ(state.EngineSpeed, 500);
    EXPECT_EQ(state.RoadSpeed, 6);
    EXPECT_EQ(Caption(TDriveLabel::Gear), "1");
    EXPECT_EQ(Caption(TDriveLabel::RoadSpeed), "0");
    EXPECT_EQ(host.beatInterval, 250u);
    EXPECT_EQ(host.frequency[siEngineTone], 22000);
    EXPECT_EQ(host.frequency[siRollingTone], 15600);
    EXPECT_FALSE(host.enabled[TLeverAction::AR]);
}

TEST_F(TickTest, HeldRightTheUpshiftComesAtTick241AndTheEngineLimitFreezesRoadSpeed) {
    int upshiftTick = 0;
    std::int32_t roadSpeedAtUpshift = 0;
    for (int tick = 1; tick <= 2000; ++tick) {
        const std::size_t clunksBefore = host.played.size();
        Tick();
        if (upshiftTick == 0 && host.played.size() > clunksBefore) {
            upshiftTick = tick;
            roadSpeedAtUpshift = state.RoadSpeed;
            EXPECT_EQ(host.played[clunksBefore], siClunk);
        }
    }
    EXPECT_EQ(upshiftTick, 241);
    EXPECT_EQ(roadSpeedAtUpshift, 519);
    EXPECT_EQ(state.Gear, 2);
    EXPECT_EQ(state.EngineSpeed, 4000);
    EXPECT_EQ(state.RoadSpeed, 1393);
    EXPECT_EQ(Caption(TDriveLabel::EngineSpeed), "4008");
    EXPECT_EQ(host.beatInterval, 70u);
    EXPECT_EQ(host.frequency[siEngineTone], 57000);
    // Held at the limit, nothing changes any more.
    Tick();
    EXPECT_EQ(state.RoadSpeed, 1393);
    EXPECT_EQ(Caption(TDriveLabel::EngineSpeed), "4008");
}

TEST_F(TickTest, InNeutralThrottleSetsEngineSpeedAndRCanBePicked) {
    state.LeverPosition = lpN;
    Tick();
    EXPECT_EQ(state.EngineSpeed, 1300);
    EXPECT_EQ(Caption(TDriveLabel::EngineSpeed), "1300");
    EXPECT_EQ(host.beatInterval, 70u);
    EXPECT_EQ(host.frequency[siEngineTone], 30000);
    EXPECT_TRUE(host.enabled[TLeverAction::AR]);
    EXPECT_EQ(state.RoadSpeed, 0);
    Tick(); // gain 7 now: throttle 1
    EXPECT_EQ(state.EngineSpeed, 1100);
}

TEST_F(TickTest, AtRestAtTheNeutralPointTheEngineIdles) {
    host.cursorX = 300;
    for (int i = 0; i < 3; ++i) {
        Tick();
        EXPECT_EQ(Caption(TDriveLabel::EngineSpeed), "498");
        EXPECT_EQ(state.EngineSpeed, 500);
        EXPECT_EQ(host.beatInterval, 250u);
        EXPECT_EQ(host.frequency[siEngineTone], 22000);
    }
}

TEST_F(TickTest, FarLeftBrakesSelectsGearOneAndIdles) {
    state.RoadSpeed = 100;
    state.Gear = 2;
    state.EngineSpeed = 1500;
    state.LeverPosition = lpA;
    host.cursorX = -300;
    Tick();
    EXPECT_EQ(state.RoadSpeed, 84);
    EXPECT_EQ(state.Gear, 1);
    EXPECT_EQ(state.EngineSpeed, 500);
}

TEST_F(TickTest, InTwoANegativeThrottleKeepsGearTwoAndLowSpeedsDrain) {
    state.LeverPosition = lpII;
    state.Gear = 2;
    state.RoadSpeed = 100;
    host.cursorX = 0;
    Tick();
    EXPECT_EQ(state.Gear, 2);
    EXPECT_EQ(state.RoadSpeed, 100 - 2 * 4 - 2); // gain 15 in gear 2: throttle -4 (-3.75)
}

TEST_F(TickTest, RoadSpeedGainTiesRoundToEven) {
    state.LeverPosition = lpA;
    state.Gear = 2;
    state.EngineSpeed = 1000;
    host.cursorX = 360; // gain 15: (60 * 15 / 600) / 2 = 0.75 -> 1
    state.RoadSpeed = 1500;
    Tick();
    EXPECT_EQ(state.RoadSpeed, 1500);
    state.RoadSpeed = 1499;
    Tick();
    EXPECT_EQ(state.RoadSpeed, 1500);
}

TEST_F(TickTest, BeatIntervalFollowsEngineSpeedWithinItsLimits) {
    // Engine speed at step 22 is what stands after the limits; hold N and a
    // zero throttle so only the -2 per tick changes it.
    host.cursorX = 300;
    const std::pair<std::int32_t, std::uint32_t> cases[] = {{502, 250}, {702, 150}, {861, 71},
                                                            {862, 70},  {863, 70},  {4002, 70}};
    for (auto [start, expected] : cases) {
        state.EngineSpeed = start;
        state.LeverPosition = lpI; // no upshift
        Tick();
        EXPECT_EQ(host.beatInterval, expected) << "engine speed " << state.EngineSpeed;
    }
}

TEST_F(TickTest, UpshiftNeedsEngineSpeed2500AfterTheGearRules) {
    host.cursorX = 300;
    state.LeverPosition = lpA;
    state.EngineSpeed = 2501; // 2499 after step 9
    Tick();
    EXPECT_EQ(state.Gear, 1);
    state.EngineSpeed = 2502;
    Tick();
    EXPECT_EQ(state.Gear, 2);
    EXPECT_EQ(state.EngineSpeed, 500);
    // I and R forbid it.
    for (TLeverPosition lever : {lpI, lpR}) {
        state.Gear = 1;
        state.LeverPosition = lever;
        state.EngineSpeed = 3000;
        Tick();
        EXPECT_EQ(state.Gear, 1);
    }
}

TEST_F(TickTest, UpshiftWithANegativeThrottleEndsInGearOne) {
    state.LeverPosition = lpB;
    state.EngineSpeed = 2600;
    host.cursorX = 0;
    const std::size_t before = host.played.size();
    Tick();
    EXPECT_EQ(host.played.at(before), siClunk);
    EXPECT_EQ(state.Gear, 1);
    EXPECT_EQ(state.EngineSpeed, 500);
}

TEST_F(TickTest, LimitsReverseAndFirstAndTheBrake) {
    host.cursorX = 5000;
    state.LeverPosition = lpR;
    state.RoadSpeed = 599;
    state.EngineSpeed = 1000;
    Tick();
    EXPECT_EQ(state.RoadSpeed, 600);
    state.LeverPosition = lpI;
    state.RoadSpeed = 1199;
    Tick();
    EXPECT_EQ(state.RoadSpeed, 1200);
    state.LeverPosition = lpB;
    host.cursorX = 300;
    state.RoadSpeed = 30;
    Tick();
    EXPECT_EQ(state.RoadSpeed, 0);
    EXPECT_EQ(Caption(TDriveLabel::RoadSpeed), "0");
}

TEST_F(TickTest, RollingToneAsksForMoreThanTheDeviceTakesAtTopSpeed) {
    host.cursorX = 300;
    state.RoadSpeed = 2100;
    Tick();
    EXPECT_EQ(host.frequency[siRollingTone], 225000);
    EXPECT_EQ(Caption(TDriveLabel::RoadSpeed), "70");
}

TEST_F(TickTest, ReverseDisablesForwardPositionsOnlyWhileATickBeginsInR) {
    host.cursorX = 300;
    Tick();
    EXPECT_TRUE(host.enabled[TLeverAction::AI]);
    EXPECT_TRUE(host.enabled[TLeverAction::AII]);
    EXPECT_TRUE(host.enabled[TLeverAction::AA]);
    state.LeverPosition = lpR;
    Tick();
    EXPECT_FALSE(host.enabled[TLeverAction::AI]);
    EXPECT_FALSE(host.enabled[TLeverAction::AII]);
    EXPECT_FALSE(host.enabled[TLeverAction::AA]);
    EXPECT_FALSE(host.enabled[TLeverAction::AR]); // not in N
    // Leaving R through N: forward positions come back at the next tick.
    state.LeverPosition = lpN;
    Tick();
    EXPECT_TRUE(host.enabled[TLeverAction::AI]);
    EXPECT_TRUE(host.enabled[TLeverAction::AII]);
    EXPECT_TRUE(host.enabled[TLeverAction::AA]);
    EXPECT_TRUE(host.enabled[TLeverAction::AR]);
}

TEST_F(TickTest, NestedTicksDuringTheUpshiftSeeTheNewGear) {
    state.LeverPosition = lpA;
    state.EngineSpeed = 2600;
    host.cursorX = 300;
    int nested = 0;
    host.onPump = [&] {
        if (nested < 3) {
            ++nested;
            SimulationTick(state, host);
        }
    };
    Tick();
    EXPECT_EQ(nested, 3);
    EXPECT_EQ(state.Gear, 2);
    // Nested ticks ran -2 each from 500; the outer tick limits to 500.
    EXPECT_EQ(state.EngineSpeed, 500);
    EXPECT_EQ(Caption(TDriveLabel::Gear), "2");
}

} // namespace
} // namespace k58
