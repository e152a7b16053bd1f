// The application object on a real QApplication (offscreen): the message
// loop and its idle step, pumping, hooks and notices, and the error boxes.
#include "platform/Application.h"

#include "platform/Clock.h"
#include "platform/Handlers.h"
#include "platform/SysUtils.h"
#include "timer/DXTimer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace k58 {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::vector<std::string> gReported;
void RecordReport(const std::exception& error) {
    gReported.emplace_back(error.what());
}

std::vector<QMessageBox*> VisibleBoxes() {
    std::vector<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible())
            boxes.push_back(box);
    return boxes;
}

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        mApp = std::make_unique<TApplication>();
        gReported.clear();
    }
    void TearDown() override { mApp.reset(); }

    // Ends the loop after ms milliseconds of wall time.
    void TerminateAfter(int ms) {
        QTimer::singleShot(ms, Qt::PreciseTimer, [this] { mApp->Terminate(); });
    }
    // Counts idle steps of a loop run for ms milliseconds, on a fresh
    // application object (a terminated one stays terminated).
    int IdleStepsIn(int ms, const TIdleEvent& idle) {
        mApp.reset();
        mApp = std::make_unique<TApplication>();
        int steps = 0;
        mApp->OnIdle = [&](TObject* sender, bool& done) {
            ++steps;
            idle(sender, done);
        };
        TerminateAfter(ms);
        mApp->Run();
        mApp->OnIdle = nullptr;
        return steps;
    }

    std::unique_ptr<TApplication> mApp;
};

TEST_F(ApplicationTest, GlobalPointsToTheOneApplicationWhileItExists) {
    EXPECT_EQ(Application, mApp.get());
    EXPECT_TRUE(mApp->Active());
    mApp->SetTitle("K-58");
    EXPECT_EQ(mApp->Title(), "K-58");
    mApp.reset();
    EXPECT_EQ(Application, nullptr);
}

TEST_F(ApplicationTest, IdleStepRunsOnlyAfterEveryWaitingEventWasDispatched) {
    int dispatched = 0;
    mApp->HookMainWindow([&](TMessage& message) {
        ++dispatched;
        // A message posted while dispatching is waiting too.
        if (message.Msg == 1)
            mApp->PostMessage(2);
        return false;
    });
    for (int i = 0; i < 5; ++i)
        mApp->PostMessage(1);
    bool timerRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });

    std::vector<int> seenAtIdle;
    mApp->OnIdle = [&](TObject* sender, bool&) {
        EXPECT_EQ(sender, mApp.get());
        seenAtIdle.push_back(dispatched);
        EXPECT_TRUE(timerRan);
        mApp->Terminate();
    };
    mApp->Run();
    ASSERT_EQ(seenAtIdle.size(), 1u);
    EXPECT_EQ(seenAtIdle[0], 10);
    EXPECT_TRUE(mApp->Terminated());
}

TEST_F(ApplicationTest, LoopBlocksWhenIdleIsDoneAndWaitsBoundedWhenItIsNot) {
    // Counts only from above: a busy machine makes fewer steps, never more.
    // Done left true: the loop sleeps until the terminating timer.
    EXPECT_LE(IdleStepsIn(200, [](TObject*, bool&) {}), 5);
    // Done false without a deadline: about one step per millisecond, not a
    // busy loop (which makes hundreds of thousands).
    const int polled = IdleStepsIn(200, [](TObject*, bool& done) { done = false; });
    EXPECT_GE(polled, 2);
    EXPECT_LE(polled, 1000);
    // Done false with a wake time: one step per wake time.
    const int paced = IdleStepsIn(200, [this](TObject*, bool& done) {
        done = false;
        mApp->SetIdleWakeTime(timeGetTime() + 50);
    });
    EXPECT_GE(paced, 1);
    EXPECT_LE(paced, 8);
}

TEST_F(ApplicationTest, WaitWithDeadlineNeverEndsBeforeTheDueMillisecond) {
    std::vector<std::uint32_t> steps;
    std::vector<std::uint32_t> due;
    IdleStepsIn(300, [&](TObject*, bool& done) {
        steps.push_back(timeGetTime());
        done = false;
        due.push_back(steps.back() + 20);
        mApp->SetIdleWakeTime(due.back());
    });
    ASSERT_GE(steps.size(), 2u);
    for (size_t i = 1; i < steps.size(); ++i)
        EXPECT_GE(steps[i], due[i - 1]) << i;
}

TEST_F(ApplicationTest, TimerHandsTheLoopTheMomentItsNextFiringIsDue) {
    // The loop waits until the clock value the timer hands over, so a stall
    // between the timer's clock reading and the loop's wait cannot delay the
    // firing: the due moment is the timer's, not one counted again later
    // (how late firings come is a benchmark's figure, bench/).
    TDXTimer timer(nullptr);
    timer.BeginLoading();
    timer.SetInterval(60);
    std::vector<std::uint32_t> firings;
    timer.OnTimer = [&](TObject*, std::int32_t) {
        firings.push_back(timeGetTime());
        if (firings.size() == 4)
            mApp->Terminate();
    };
    timer.Loaded();
    const TIdleEvent tick = mApp->OnIdle;
    std::vector<std::uint32_t> handed;
    mApp->OnIdle = [&](TObject* sender, bool& done) {
        const size_t before = firings.size();
        tick(sender, done);
        if (firings.size() > before) {
            ASSERT_TRUE(mApp->HasIdleWakeTime());
            handed.push_back(mApp->IdleWakeTime());
        }
        std::this_thread::sleep_for(milliseconds(15));
    };
    TerminateAfter(5000);
    mApp->Run();
    ASSERT_EQ(firings.size(), 4u);
    for (size_t i = 0; i + 1 < firings.size(); ++i) {
        EXPECT_EQ(handed[i], firings[i] + 60) << i;
        EXPECT_GE(firings[i + 1], handed[i]) << "fired early " << i;
    }
}

TEST_F(ApplicationTest, IdleHandlerExceptionIsReportedAndTheLoopGoesOn) {
    SetExceptionReporter(&RecordReport);
    int steps = 0;
    mApp->OnIdle = [&](TObject*, bool& done) {
        ++steps;
        done = false;
        if (steps <= 3)
            throw Exception("idle failed");
        mApp->Terminate();
    };
    mApp->Run();
    EXPECT_EQ(steps, 4);
    EXPECT_EQ(gReported, std::vector<std::string>(3, "idle failed"));
}

TEST_F(ApplicationTest, ProcessMessagesDispatchesEverythingButNeverRunsTheIdleStep) {
    int idleSteps = 0;
    mApp->OnIdle = [&](TObject*, bool&) { ++idleSteps; };
    int dispatched = 0;
    mApp->HookMainWindow([&](TMessage&) {
        ++dispatched;
        return false;
    });
    mApp->PostMessage(7);
    mApp->PostMessage(8);
    bool timerRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });
    // Returns once nothing waits: before a timer due later has fired.
    bool laterRan = false;
    QTimer::singleShot(2000, [&] { laterRan = true; });
    mApp->ProcessMessages();
    EXPECT_FALSE(laterRan);
    EXPECT_EQ(dispatched, 2);
    EXPECT_TRUE(timerRan);
    EXPECT_EQ(idleSteps, 0);
}

TEST_F(ApplicationTest, HooksRunInOrderAndTrueEndsTheHandling) {
    std::vector<std::string> calls;
    THookId second = 0;
    mApp->HookMainWindow([&](TMessage& message) {
        calls.push_back("a" + std::to_string(message.Msg));
        if (message.Msg == 2)
            mApp->UnhookMainWindow(second); // removed before its turn
        return false;
    });
    second = mApp->HookMainWindow([&](TMessage& message) {
        calls.push_back("b" + std::to_string(message.Msg));
        return message.Msg == 1;
    });
    mApp->HookMainWindow([&](TMessage& message) {
        calls.push_back("c" + std::to_string(message.Msg));
        return false;
    });
    mApp->UnhookMainWindow(12345); // unknown ids are ignored
    mApp->PostMessage(1);
    mApp->PostMessage(2);
    mApp->PostMessage(3);
    mApp->ProcessMessages();
    EXPECT_EQ(calls, (std::vector<std::string>{"a1", "b1", "a2", "c2", "a3", "c3"}));
}

TEST_F(ApplicationTest, ActivationNoticesArriveInOrderAfterTheFlagChanged) {
    std::vector<std::pair<std::uint32_t, bool>> seen;
    mApp->HookMainWindow([&](TMessage& message) {
        seen.emplace_back(message.Msg, mApp->Active());
        return false;
    });
    mApp->SetActive(false);
    EXPECT_FALSE(mApp->Active());
    mApp->ProcessMessages();
    mApp->SetActive(true);
    mApp->SetActive(false);
    mApp->ProcessMessages();
    using Seen = std::vector<std::pair<std::uint32_t, bool>>;
    EXPECT_EQ(seen, (Seen{{CM_DEACTIVATE, false}, {CM_ACTIVATE, false}, {CM_DEACTIVATE, false}}));

    // Qt's own report of an active application reaches the hooks too.
    seen.clear();
    QWidget window;
    window.show();
    window.activateWindow();
    for (int i = 0; i < 20 && seen.empty(); ++i) {
        mApp->ProcessMessages();
        std::this_thread::sleep_for(milliseconds(5));
    }
    EXPECT_EQ(seen, (Seen{{CM_ACTIVATE, true}}));
}

TEST_F(ApplicationTest, ExceptionTextEndsWithAFullStopWhenTheLastCharacterSortsAfterIt) {
    auto text = [](const std::string& message) {
        return TApplication::ExceptionText(std::runtime_error(message));
    };
    EXPECT_EQ(text("Boom"), "Boom.");
    EXPECT_EQ(text("Done."), "Done.");
    EXPECT_EQ(text("Ratio 3:"), "Ratio 3:.");
    EXPECT_EQ(text("(none)"), "(none)");
    EXPECT_EQ(text("a-"), "a-");
    EXPECT_EQ(text("Chyba zvuku č"), "Chyba zvuku č.");
    EXPECT_EQ(text(""), "");
}

TEST_F(ApplicationTest, ErrorBoxesDoNotPileUp) {
    mApp->SetTitle("K-58");
    std::vector<std::size_t> boxCounts;
    QString title;
    QString text;
    int failures = 0;
    // Handlers failing every 10 ms for a quarter second, each reported
    // through the installed reporter.
    for (int i = 1; i <= 25; ++i)
        QTimer::singleShot(10 * i, [&] {
            ++failures;
            RunHandler([] { throw Exception("Sound failed"); });
        });
    QTimer watcher;
    watcher.setInterval(50);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        const auto boxes = VisibleBoxes();
        boxCounts.push_back(boxes.size());
        if (boxCounts.size() == 6 && !boxes.empty()) {
            title = boxes[0]->windowTitle();
            text = boxes[0]->text();
            EXPECT_EQ(boxes[0]->icon(), QMessageBox::Critical);
            boxes[0]->button(QMessageBox::Ok)->click();
        }
        if (boxCounts.size() == 8)
            mApp->Terminate();
    });
    watcher.start();
    mApp->Run();
    watcher.stop();

    EXPECT_EQ(failures, 25);
    ASSERT_GE(boxCounts.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(boxCounts[i], 1u) << i;
    EXPECT_EQ(boxCounts.back(), 0u);
    EXPECT_EQ(title, "K-58");
    EXPECT_EQ(text, "Sound failed.");

    // Once the box is closed, the next error opens one again.
    bool reopened = false;
    QTimer::singleShot(20, [&] {
        const auto boxes = VisibleBoxes();
        reopened = boxes.size() == 1;
        for (QMessageBox* box : boxes)
            box->button(QMessageBox::Ok)->click();
    });
    mApp->HandleException(std::runtime_error("again"));
    EXPECT_TRUE(reopened);
}

TEST_F(ApplicationTest, StartupErrorNamesClassModuleRelativeAddressAndMessage) {
    const std::string text =
        TApplication::StartupErrorText(EConvertError("Cannot assign a nil to a TFont"),
                                       reinterpret_cast<const void*>(&RecordReport));
    const std::string prefix = "Exception EConvertError in module application_tests at ";
    ASSERT_EQ(text.substr(0, prefix.size()), prefix) << text;
    const std::string rest = text.substr(prefix.size());
    const size_t dot = rest.find(".\r\n");
    ASSERT_NE(dot, std::string::npos);
    const std::string address = rest.substr(0, dot);
    EXPECT_GE(address.size(), 8u);
    // Relative to the program's load address: a small offset, not where the
    // program happens to sit in memory.
    const unsigned long long offset = std::stoull(address, nullptr, 16);
    EXPECT_GT(offset, 0u);
    EXPECT_LT(offset, 0x10000000ull);
    EXPECT_EQ(rest.substr(dot), ".\r\nCannot assign a nil to a TFont.\r\n");

    const std::string other =
        TApplication::StartupErrorText(std::runtime_error("No device."), nullptr);
    EXPECT_NE(other.find("Exception std::runtime_error in module"), std::string::npos) << other;
    EXPECT_EQ(other.substr(other.size() - 14), "\r\nNo device.\r\n");
}

TEST_F(ApplicationTest, StartupErrorShowsAnApplicationErrorBox) {
    QString title;
    QString text;
    QTimer::singleShot(20, [&] {
        for (QMessageBox* box : VisibleBoxes()) {
            title = box->windowTitle();
            text = box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    TApplication::ShowStartupError(EOutOfMemory("Out of memory"));
    EXPECT_EQ(title, "Application Error");
    EXPECT_TRUE(text.startsWith("Exception EOutOfMemory in module application_tests at "))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith("\nOut of memory.")) << text.toStdString();
}

// The idle-driven timer on the real loop and clock.
class TimerOnLoopTest : public ApplicationTest {
protected:
    void SetUp() override {
        ApplicationTest::SetUp();
        mTimer = std::make_unique<TDXTimer>(nullptr);
        mTimer->BeginLoading();
        mTimer->OnTimer = [this](TObject*, std::int32_t) { mFirings.push_back(Clock::now()); };
    }
    void TearDown() override {
        mTimer.reset();
        ApplicationTest::TearDown();
    }
    std::unique_ptr<TDXTimer> mTimer;
    std::vector<Clock::time_point> mFirings;
};

TEST_F(TimerOnLoopTest, FiresAtTheIntervalATickKeepsSetting) {
    mTimer->Loaded();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [this] { mTimer->SetInterval(30); });
    tick.start();
    TerminateAfter(400);
    mApp->Run();
    // Never early, whatever the ticks in between (how late: bench/).
    ASSERT_GE(mFirings.size(), 3u);
    for (size_t i = 2; i < mFirings.size(); ++i) {
        const auto gap = mFirings[i] - mFirings[i - 1];
        EXPECT_GE(gap, milliseconds(29)) << i; // the clock counts whole milliseconds
    }
}

TEST_F(TimerOnLoopTest, NeverFiresWhileAHandlerPumps) {
    mTimer->SetInterval(20);
    mTimer->Loaded();
    Clock::time_point pumpStart;
    Clock::time_point pumpEnd;
    QTimer::singleShot(100, [&] {
        pumpStart = Clock::now();
        while (Clock::now() - pumpStart < milliseconds(200)) {
            mApp->ProcessMessages();
            std::this_thread::sleep_for(milliseconds(1));
        }
        pumpEnd = Clock::now();
    });
    TerminateAfter(400);
    mApp->Run();
    ASSERT_NE(pumpEnd, Clock::time_point{});
    int before = 0;
    int after = 0;
    for (const auto& at : mFirings) {
        EXPECT_FALSE(at > pumpStart && at < pumpEnd);
        before += at < pumpStart;
        after += at > pumpEnd;
    }
    EXPECT_GE(before, 1);
    EXPECT_GE(after, 1);
}

} // namespace
} // namespace k58
