#include "ReporterFixture.h"
#include "platform/Timers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(205);
    const qint64 elapsed = clock.elapsed();
    // A fixed 10 ms schedule; allow for a busy machine.
    EXPECT_GE(ticks, 8);
    EXPECT_LE(ticks, elapsed / 10 + 1);
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
    QTest::qWait(60);
    EXPECT_GT(ticks, 0);
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
            // Pump for about 60 ms: both timers' ticks run inside.
            for (int i = 0; i < 12; ++i) {
                QCoreApplication::processEvents();
                QThread::msleep(5);
            }
            EXPECT_GT(otherTicks, 3);
        }
        --depth;
    };
    QTest::qWait(150);
    EXPECT_EQ(maxDepth, 2);
    EXPECT_GT(ticks, 4);
}

TEST_F(TimerTest, ExceptionFromTheHandlerIsReportedAndTheTimerGoesOn) {
    TTimer timer(nullptr);
    timer.SetInterval(10);
    int ticks = 0;
    timer.OnTimer = [&](TObject*) {
        if (++ticks == 1)
            throw std::runtime_error("tick failed");
    };
    QTest::qWait(60);
    EXPECT_GT(ticks, 1);
    ASSERT_EQ(ReportedMessages().size(), 1u);
    EXPECT_EQ(ReportedMessages()[0], "tick failed");
}

} // namespace
} // namespace k58
