#include "ReporterFixture.h"
#include "platform/Timers.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QThread>

#include <stdexcept>

namespace k58 {
namespace {

using test::ReportedMessages;
using TimerTest = test::ReportingTest;

TEST_F(TimerTest, FiresRepeatedlyAtItsIntervalWithItselfAsSender) {
    TTimer timer(nullptr);
    int ticks = 0;
    TObject* sender = nullptr;
    timer.OnTimer = [&](TObject* s) {
        ++ticks;
        sender = s;
    };
    timer.SetInterval(10);
    ASSERT_TRUE(timer.Running());
    // Repeatedly (how regularly is a benchmark's figure, bench/).
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 5000));
    EXPECT_EQ(sender, &timer);

    timer.SetEnabled(false);
    EXPECT_FALSE(timer.Running());
    const int stopped = ticks;
    QTest::qWait(50);
    EXPECT_EQ(ticks, stopped);
    timer.SetEnabled(true);
    timer.SetInterval(0);
    EXPECT_FALSE(timer.Running());
}

TEST_F(TimerTest, EnabledTimerStartsOnlyAfterLoading) {
    TComponent owner(nullptr);
    auto* timer = new TTimer(&owner);
    timer->BeginLoading();
    timer->SetInterval(10);
    int ticks = 0;
    timer->OnTimer = [&](TObject*) { ++ticks; };
    EXPECT_FALSE(timer->Running());
    QTest::qWait(40);
    EXPECT_EQ(ticks, 0);
    timer->SetName("Timer2");
    timer->Loaded();
    EXPECT_TRUE(timer->Running());
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks > 0; }, 5000));
}

TEST_F(TimerTest, HandlerThatPumpsMessagesRunsItsOwnTicksNested) {
    TTimer timer(nullptr);
    TTimer other(nullptr);
    timer.SetInterval(10);
    other.SetInterval(5);
    int depth = 0;
    int maxDepth = 0;
    int ticks = 0;
    int otherTicks = 0;
    other.OnTimer = [&](TObject*) { ++otherTicks; };
    timer.OnTimer = [&](TObject*) {
        ++ticks;
        maxDepth = std::max(maxDepth, ++depth);
        if (ticks == 1) {
            // Pump until the other timer has ticked a few times: ticks of
            // both timers run inside.
            QDeadlineTimer deadline(5000);
            while (otherTicks <= 3 && !deadline.hasExpired()) {
                QCoreApplication::processEvents();
                QThread::msleep(5);
            }
            EXPECT_GT(otherTicks, 3);
        }
        --depth;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks > 4; }, 5000));
    EXPECT_EQ(maxDepth, 2);
}

TEST_F(TimerTest, ExceptionFromTheHandlerIsReportedAndTheTimerGoesOn) {
    TTimer timer(nullptr);
    timer.SetInterval(10);
    int ticks = 0;
    timer.OnTimer = [&](TObject*) {
        if (++ticks == 1)
            throw std::runtime_error("tick failed");
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks > 1; }, 5000));
    ASSERT_EQ(ReportedMessages().size(), 1u);
    EXPECT_EQ(ReportedMessages()[0], "tick failed");
}

} // namespace
} // namespace k58
