// The idle-driven timer against a hand-driven clock: each idle step is one
// call of the application's idle step, as the message loop would make it.
#include "timer/DXTimer.h"

#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/Handlers.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace k58 {
namespace {

struct Firing {
    std::uint32_t at;
    std::int32_t lagCount;
};

std::vector<std::string> gReported;
void RecordReport(const std::exception& error) {
    gReported.emplace_back(error.what());
}

class DXTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetClockSource([this] { return mNow; });
        mApp = std::make_unique<TApplication>();
        SetExceptionReporter(&RecordReport);
        gReported.clear();
    }
    void TearDown() override {
        mTimer.reset();
        mApp.reset();
        ResetClockSource();
    }

    // Makes the timer as the window does: created, settings applied while
    // loading, then told it is loaded.
    TDXTimer& Load(std::uint32_t interval) {
        mTimer = std::make_unique<TDXTimer>(nullptr);
        mTimer->BeginLoading();
        mTimer->SetInterval(interval);
        mTimer->OnTimer = [this](TObject* sender, std::int32_t lagCount) {
            EXPECT_EQ(sender, mTimer.get());
            mFirings.push_back({mNow, lagCount});
        };
        mTimer->Loaded();
        return *mTimer;
    }

    // One idle step at clock value t; returns Done.
    bool StepAt(std::uint32_t t) {
        mNow = t;
        return mApp->IdleStep();
    }
    // Idle steps every millisecond from the present clock value up to t.
    void StepEveryMsUntil(std::uint32_t t) {
        while (mNow != t)
            StepAt(mNow + 1);
    }
    // Delivers posted notices as the loop would.
    void Pump() { mApp->ProcessMessages(); }

    std::uint32_t mNow = 5000;
    std::unique_ptr<TApplication> mApp;
    std::unique_ptr<TDXTimer> mTimer;
    std::vector<Firing> mFirings;
};

TEST_F(DXTimerTest, ConstructionSetsDefaultsAndStartsOnlyWhenLoaded) {
    TDXTimer timer(nullptr);
    EXPECT_TRUE(timer.ActiveOnly());
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    EXPECT_EQ(timer.LagDivisor(), 1000u);
    EXPECT_EQ(timer.FiringRate(), 0);
    EXPECT_FALSE(timer.Started());
    EXPECT_FALSE(mApp->OnIdle);

    // Enabled written while loading only records the value.
    timer.BeginLoading();
    timer.SetEnabled(false);
    timer.SetEnabled(true);
    EXPECT_FALSE(timer.Started());
    EXPECT_FALSE(mApp->OnIdle);
    timer.Loaded();
    EXPECT_TRUE(timer.Started());
    EXPECT_TRUE(mApp->OnIdle);
    EXPECT_EQ(timer.LastFireTime(), 5000u);

    TDXTimer disabled(nullptr);
    disabled.BeginLoading();
    disabled.SetEnabled(false);
    disabled.Loaded();
    EXPECT_FALSE(disabled.Started());
}

TEST_F(DXTimerTest, IntervalWritesClampNegativeRequestsAndKeepLagDivisorOnEqualWrites) {
    TDXTimer& timer = Load(1000);
    timer.SetInterval(static_cast<std::uint32_t>(500 - 4000 / 2)); // -1500
    EXPECT_EQ(timer.Interval(), 0u);
    EXPECT_EQ(timer.LagDivisor(), 1u);
    // 0 equals the stored value, so the divisor stays what -1500 made it.
    timer.SetInterval(0);
    EXPECT_EQ(timer.LagDivisor(), 1u);
    timer.SetInterval(70);
    EXPECT_EQ(timer.Interval(), 70u);
    EXPECT_EQ(timer.LagDivisor(), 70u);
    timer.SetInterval(0x80000000u);
    EXPECT_EQ(timer.Interval(), 0u);
    EXPECT_EQ(timer.LagDivisor(), 1u);
    // Writing never moves the timing.
    EXPECT_EQ(timer.LastFireTime(), 5000u);
}

TEST_F(DXTimerTest, FiresWhenElapsedReachesIntervalAndCountsWholeIntervalsLate) {
    Load(100);
    EXPECT_FALSE(StepAt(5099)); // Done is false even without a firing
    EXPECT_TRUE(mFirings.empty());
    StepAt(5100);
    ASSERT_EQ(mFirings.size(), 1u);
    EXPECT_EQ(mFirings[0].lagCount, 1);

    // 350 ms late: one firing with three intervals counted, not a burst.
    StepAt(5450);
    StepAt(5451);
    ASSERT_EQ(mFirings.size(), 2u);
    EXPECT_EQ(mFirings[1].lagCount, 3);
    // The next interval counts from that step.
    StepAt(5549);
    EXPECT_EQ(mFirings.size(), 2u);
    StepAt(5550);
    EXPECT_EQ(mFirings.size(), 3u);
}

TEST_F(DXTimerTest, IntervalZeroFiresAtEveryIdleStepWithElapsedMillisecondsAsLag) {
    TDXTimer& timer = Load(1000);
    timer.SetInterval(static_cast<std::uint32_t>(-1500));
    StepAt(5000);
    StepAt(5000);
    StepAt(5007);
    ASSERT_EQ(mFirings.size(), 3u);
    EXPECT_EQ(mFirings[0].lagCount, 1);
    EXPECT_EQ(mFirings[1].lagCount, 1);
    EXPECT_EQ(mFirings[2].lagCount, 7);
}

TEST_F(DXTimerTest, LoweringTheIntervalBelowTheElapsedTimeFiresAtTheNextStep) {
    TDXTimer& timer = Load(420);
    StepAt(5300);
    EXPECT_TRUE(mFirings.empty());
    timer.SetInterval(250);
    StepAt(5300);
    ASSERT_EQ(mFirings.size(), 1u);
    EXPECT_EQ(mFirings[0].lagCount, 1);
}

TEST_F(DXTimerTest, ElapsedTimeWrapsWithTheClock) {
    mNow = 0xFFFFFF80u; // 128 ms before the wrap
    Load(250);
    StepAt(0x00000079u); // 249 ms later, across the wrap
    EXPECT_TRUE(mFirings.empty());
    StepAt(0x0000007Au);
    ASSERT_EQ(mFirings.size(), 1u);
    EXPECT_EQ(mFirings[0].lagCount, 1);
    EXPECT_EQ(mTimer->LastFireTime(), 0x7Au);
}

TEST_F(DXTimerTest, EnabledOffAndOnRestartsTheTiming) {
    TDXTimer& timer = Load(100);
    StepAt(5090);
    timer.SetEnabled(false);
    EXPECT_FALSE(mApp->OnIdle);
    EXPECT_FALSE(timer.Started());
    timer.SetEnabled(true);
    StepAt(5100);
    StepAt(5189);
    EXPECT_TRUE(mFirings.empty());
    StepAt(5190);
    EXPECT_EQ(mFirings.size(), 1u);
}

TEST_F(DXTimerTest, DeactivationSuspendsAndReactivationRestartsTheTiming) {
    TDXTimer& timer = Load(100);
    int activations = 0;
    int deactivations = 0;
    timer.OnActivate = [&](TObject* sender) {
        EXPECT_EQ(sender, &timer);
        ++activations;
    };
    timer.OnDeactivate = [&](TObject*) { ++deactivations; };

    mApp->SetActive(false);
    Pump();
    EXPECT_EQ(deactivations, 1);
    EXPECT_TRUE(timer.Started());
    EXPECT_FALSE(mApp->OnIdle);
    StepAt(5500);
    EXPECT_TRUE(mFirings.empty());

    mNow = 6000;
    mApp->SetActive(true);
    Pump();
    EXPECT_EQ(activations, 1);
    StepAt(6099);
    EXPECT_TRUE(mFirings.empty());
    StepAt(6100);
    EXPECT_EQ(mFirings.size(), 1u);

    // An activation while running restarts the timing too.
    mNow = 6150;
    mApp->SetActive(true);
    Pump();
    StepAt(6200);
    EXPECT_EQ(mFirings.size(), 1u);
    StepAt(6250);
    EXPECT_EQ(mFirings.size(), 2u);
}

TEST_F(DXTimerTest, StartingWhileInactiveSuspendsUnlessActiveOnlyIsOff) {
    mApp->SetActive(false);
    Pump();
    TDXTimer& timer = Load(100);
    EXPECT_TRUE(timer.Started());
    EXPECT_FALSE(mApp->OnIdle);

    // Turning ActiveOnly off does not attach a suspended timer; a restart does.
    timer.SetActiveOnly(false);
    EXPECT_FALSE(mApp->OnIdle);
    timer.SetEnabled(false);
    timer.SetEnabled(true);
    EXPECT_TRUE(mApp->OnIdle);
    // Deactivation notices leave a timer without ActiveOnly running.
    mApp->SetActive(false);
    Pump();
    EXPECT_TRUE(mApp->OnIdle);
    // Turning ActiveOnly on while inactive suspends it at once.
    timer.SetActiveOnly(true);
    EXPECT_FALSE(mApp->OnIdle);
}

TEST_F(DXTimerTest, FiringRateOverCompletedWindowsRoundsHalfToEven) {
    TDXTimer& timer = Load(250);
    StepEveryMsUntil(8000);
    EXPECT_EQ(timer.FiringRate(), 4);

    // Three firings 400 ms apart close a 1200 ms window: 2.5 per second,
    // which rounds to the even 2.
    timer.SetEnabled(false);
    timer.SetEnabled(true);
    timer.SetInterval(400);
    const std::size_t before = mFirings.size();
    StepAt(mNow + 400);
    StepAt(mNow + 400);
    EXPECT_EQ(timer.FiringRate(), 4); // window not complete yet
    StepAt(mNow + 400);
    EXPECT_EQ(mFirings.size(), before + 3);
    EXPECT_EQ(timer.FiringRate(), 2);
}

TEST_F(DXTimerTest, HandlerExceptionIsReportedAfterTheTimingMovedOn) {
    TDXTimer& timer = Load(100);
    timer.OnTimer = [](TObject*, std::int32_t) { throw std::runtime_error("no voice"); };
    StepAt(5100);
    ASSERT_EQ(gReported.size(), 1u);
    EXPECT_EQ(gReported[0], "no voice");
    EXPECT_EQ(timer.LastFireTime(), 5100u);
    EXPECT_TRUE(mApp->OnIdle);
    StepAt(5150);
    EXPECT_EQ(gReported.size(), 1u);
}

TEST_F(DXTimerTest, AsksTheLoopToWaitUntilTheNextDueMoment) {
    TDXTimer& timer = Load(100);
    StepAt(5030);
    ASSERT_TRUE(mApp->HasIdleWakeTime());
    EXPECT_EQ(mApp->IdleWakeTime(), 5100u);
    // After a firing the next one is due an interval from it, however long
    // the handler takes; an interval it sets counts from the next step.
    timer.OnTimer = [&](TObject*, std::int32_t) {
        mNow += 5;
        timer.SetInterval(40);
    };
    StepAt(5100);
    ASSERT_TRUE(mApp->HasIdleWakeTime());
    EXPECT_EQ(mApp->IdleWakeTime(), 5200u);
    StepAt(5110);
    EXPECT_EQ(mApp->IdleWakeTime(), 5140u);
    // Across the clock's wrap-around.
    timer.OnTimer = nullptr;
    StepAt(0xFFFFFFF0u);
    EXPECT_EQ(mApp->IdleWakeTime(), 0xFFFFFFF0u + 40u);
}

TEST_F(DXTimerTest, DestructionDetachesAndRemovesTheHook) {
    int activations = 0;
    {
        TDXTimer& timer = Load(100);
        timer.OnActivate = [&](TObject*) { ++activations; };
        mApp->SetActive(true);
        Pump();
        EXPECT_EQ(activations, 1);
        mTimer.reset();
    }
    EXPECT_FALSE(mApp->OnIdle);
    mApp->SetActive(true);
    Pump();
    EXPECT_EQ(activations, 1);
}

TEST_F(DXTimerTest, HandlerMayStopOrFreeTheTimerFromWithinItsFiring) {
    TDXTimer& timer = Load(100);
    timer.OnTimer = [&](TObject*, std::int32_t) { timer.SetEnabled(false); };
    StepAt(5100);
    EXPECT_FALSE(timer.Started());
    EXPECT_FALSE(mApp->OnIdle);
    EXPECT_TRUE(StepAt(5300)); // an empty slot leaves Done true
    // The firing is the timer's last act: freeing it there touches nothing
    // freed (the sanitizer build catches a read after the event).
    timer.OnTimer = [this](TObject*, std::int32_t) { mTimer.reset(); };
    timer.SetEnabled(true);
    StepAt(5400);
    EXPECT_EQ(mTimer, nullptr);
    EXPECT_FALSE(mApp->OnIdle);
}

} // namespace
} // namespace k58
