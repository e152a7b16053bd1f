// The main window on the offscreen platform: its definition, the lever
// buttons' enabling by the tick, and a gear change's shake.
#include "app/Motor_F.h"
#include "platform/Application.h"
#include "platform/Clock.h"
#include "sound/DXSound.h"
#include "sound/DXWaveList.h"
#include "sound/SoundBank.h"
#include "timer/DXTimer.h"

#include "platform/qt/Native.h"

#include <QCoreApplication>
#include <QCursor>
#include <QImage>
#include <QMetaObject>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace k58 {
namespace {

class MotorFormTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("ALSOFT_DRIVERS", "null", 0);
        if (Application == nullptr)
            application = new TApplication();
    }

    void SetUp() override {
        form = std::make_unique<TMotorForm>(nullptr);
        // Ticks are driven by hand here.
        form->Timer2->SetEnabled(false);
    }

    void PointAt(int clientX) {
        const TPoint screen = form->ClientToScreen({clientX, 140});
        QCursor::setPos(screen.X, screen.Y);
    }
    void Tick() { form->Timer2Timer(form.get()); }

    static inline TApplication* application = nullptr;
    std::unique_ptr<TMotorForm> form;
};

TEST_F(MotorFormTest, DefinitionCreatesTheComponentsInOrder) {
    const std::vector<std::string> expected = {"Label1",       "Label2",       "Label3",
                                               "Label4",       "Label5",       "Label6",
                                               "PaintBox1",    "Image1",       "SpeedButton1",
                                               "SpeedButton2", "SpeedButton3", "SpeedButton4",
                                               "SpeedButton5", "SpeedButton6", "Label7",
                                               "DXWaveList1",  "DXSound1",     "Timer2",
                                               "Timer1",       "XPManifest1",  "ActionList1",
                                               "AB",           "AR",           "AI",
                                               "AII",          "AA",           "AN"};
    ASSERT_EQ(form->TComponent::ComponentCount(), static_cast<int>(expected.size()));
    for (int i = 0; i < form->TComponent::ComponentCount(); ++i) {
        EXPECT_EQ(form->Components(i)->Name(), expected[i]);
        EXPECT_EQ(form->Components(i)->IsControl(), i < 15) << expected[i];
    }
}

TEST_F(MotorFormTest, WindowAndControlsHaveTheirPlacesAndTexts) {
    EXPECT_EQ(form->Caption(), "K-58");
    EXPECT_EQ(form->ClientWidth(), 569);
    EXPECT_EQ(form->ClientHeight(), 152);

    // Labels: place, text, and the gear readout's own font; the rest take
    // the window's.
    const struct {
        TLabel* label;
        int left;
        int top;
        const char* caption;
    } labels[] = {{form->Label1, 112, 56, "Label1"},
                  {form->Label2, 112, 88, "1"},
                  {form->Label3, 16, 56, "Otáčky motoru:"},
                  {form->Label4, 16, 96, "Převodový stupeň"},
                  {form->Label5, 112, 40, "Label1"},
                  {form->Label6, 16, 40, "Rychlost:"},
                  {form->Label7, 312, 104,
                   "Program se ovládá myší. Pohybem od středu\r\nformuláře doprava zrychlujete, "
                   "doleva zpomalujete."}};
    for (const auto& row : labels) {
        EXPECT_EQ(row.label->Left(), row.left) << row.label->Name();
        EXPECT_EQ(row.label->Top(), row.top) << row.label->Name();
        EXPECT_EQ(row.label->Caption(), row.caption) << row.label->Name();
        EXPECT_EQ(row.label->ParentFont(), row.label != form->Label2) << row.label->Name();
    }
    EXPECT_EQ(form->Label2->Font(), (TFontData{"Arial", 23, false, TFontCharset::CentralEuropean}));
    EXPECT_EQ(form->Label2->Height(), 26);
    EXPECT_FALSE(form->Label7->AutoSize());
    EXPECT_TRUE(form->Label7->WordWrap());
    EXPECT_EQ(form->Label7->Width(), 256);
    EXPECT_EQ(form->Label7->Height(), 33);

    const auto bounds = [](const TWidgetControl* c) {
        return std::vector<int>{c->Left(), c->Top(), c->Width(), c->Height()};
    };
    EXPECT_EQ(bounds(form->PaintBox1), (std::vector<int>{184, 24, 105, 105}));
    EXPECT_EQ(bounds(form->Image1), (std::vector<int>{264, 120, 25, 17}));
    EXPECT_FALSE(form->Image1->Visible());

    const std::vector<std::pair<TSpeedButton*, std::string>> buttons = {
        {form->SpeedButton1, "B"},  {form->SpeedButton2, "R"}, {form->SpeedButton3, "I"},
        {form->SpeedButton4, "II"}, {form->SpeedButton5, "A"}, {form->SpeedButton6, "N"}};
    int left = 312;
    for (auto [button, caption] : buttons) {
        EXPECT_EQ(button->Caption(), caption);
        EXPECT_EQ(bounds(button), (std::vector<int>{left, 32, 41, 41})) << caption;
        EXPECT_EQ(button->Font(),
                  (TFontData{"Times New Roman", 21, true, TFontCharset::CentralEuropean}))
            << caption;
        EXPECT_EQ(button->GroupIndex(), 1);
        EXPECT_FALSE(button->AllowAllUp());
        EXPECT_FALSE(button->Down());
        left += 40;
    }

    EXPECT_EQ(form->Timer2->Interval(), 10u);
    EXPECT_TRUE(form->Timer1->ActiveOnly());
    EXPECT_EQ(form->Timer1->Interval(), 1000u);

    // The four sounds in role order: beat, engine tone, rolling tone, clunk.
    const bool looped[] = {false, true, true, false};
    ASSERT_EQ(form->DXWaveList1->Items()->Count(), SoundBankCount);
    for (int i = 0; i < SoundBankCount; ++i) {
        const TWaveCollectionItem* item = form->DXWaveList1->Items()->Items(i);
        EXPECT_EQ(item->Looped(), looped[i]) << i;
        EXPECT_EQ(item->MaxPlayingCount(), 0) << i;
        TWave carried;
        LoadSoundBankWave(i, carried);
        const TWave& wave = item->Wave();
        ASSERT_EQ(wave.Size(), carried.Size()) << i;
        ASSERT_EQ(wave.FormatSize(), carried.FormatSize()) << i;
        EXPECT_TRUE(std::equal(wave.Data(), wave.Data() + wave.Size(), carried.Data())) << i;
        EXPECT_TRUE(std::equal(wave.Format(), wave.Format() + wave.FormatSize(), carried.Format()))
            << i;
    }
}

TEST_F(MotorFormTest, StartUpStartsTheDriveAndTheBeatTimer) {
    EXPECT_EQ(form->DriveState().Gear, 1);
    EXPECT_EQ(form->DriveState().EngineSpeed, 500);
    EXPECT_EQ(form->DriveState().LeverPosition, 0);
    EXPECT_TRUE(form->Timer1->Started());
    PointAt(form->Width() / 2);
    Tick();
    EXPECT_EQ(form->Label1->Caption(), "498");
    EXPECT_EQ(form->Label5->Caption(), "0");
    EXPECT_EQ(form->Timer1->Interval(), 250u);
}

TEST_F(MotorFormTest, ReverseCanOnlyBePickedFromNeutralAtRestAndDoesNotLockOutForward) {
    PointAt(form->Width() / 2);
    Tick();
    EXPECT_FALSE(form->AR->Enabled());
    EXPECT_FALSE(form->SpeedButton2->Enabled());

    form->AN->Execute();
    Tick();
    EXPECT_TRUE(form->AR->Enabled());
    EXPECT_TRUE(form->SpeedButton2->Enabled());

    form->AR->Execute();
    Tick();
    EXPECT_FALSE(form->AI->Enabled());
    EXPECT_FALSE(form->AII->Enabled());
    EXPECT_FALSE(form->AA->Enabled());
    EXPECT_FALSE(form->AR->Enabled());
    EXPECT_FALSE(form->SpeedButton3->Enabled());
    EXPECT_TRUE(form->AB->Enabled());
    EXPECT_TRUE(form->AN->Enabled());

    // Leaving R: the forward positions come back at the next tick.
    form->AN->Execute();
    Tick();
    EXPECT_TRUE(form->AI->Enabled());
    EXPECT_TRUE(form->AII->Enabled());
    EXPECT_TRUE(form->AA->Enabled());
    EXPECT_TRUE(form->SpeedButton5->Enabled());
}

TEST_F(MotorFormTest, TheWindowShowsOnlyThePanelsLastDrawing) {
    form->Show();
    QCoreApplication::processEvents();
    PointAt(20);
    Tick();
    Tick();
    const int oldMid = form->Width() / 2;
    // Width changing during a run (a window manager's frame that becomes
    // known late; here a wider client area) moves the centre line.
    form->SetClientSize(640, 152);
    QCoreApplication::processEvents();
    Tick();
    const int mid = form->Width() / 2;
    ASSERT_NE(mid, oldMid);
    const QImage screen = ClientWidget(*form)->grab().toImage();
    const QColor white(255, 255, 255);
    EXPECT_EQ(screen.pixelColor(mid, 1), white);
    // The rows the bars leave free show no trace of the old line.
    for (const int y : {0, 1, 2, 13})
        EXPECT_NE(screen.pixelColor(oldMid, y), white) << "row " << y;
}

TEST_F(MotorFormTest, AGearChangeShakesEveryControlAndTheWindowByAtMostEightPixels) {
    std::vector<std::pair<int, int>> before;
    for (int i = 0; i < 15; ++i) {
        auto* control = dynamic_cast<TControl*>(form->Components(i));
        before.emplace_back(control->Left(), control->Top());
    }
    const int formLeft = form->Left();
    const int formTop = form->Top();

    form->AII->Execute(); // gear 1 -> 2 through the sequence
    EXPECT_EQ(form->DriveState().Gear, 2);
    EXPECT_EQ(form->DriveState().LeverPosition, lpII);

    int moved = 0;
    for (int i = 0; i < 15; ++i) {
        auto* control = dynamic_cast<TControl*>(form->Components(i));
        const int dx = control->Left() - before[i].first;
        const int dy = control->Top() - before[i].second;
        EXPECT_LE(std::abs(dx), 8) << form->Components(i)->Name();
        EXPECT_LE(std::abs(dy), 8) << form->Components(i)->Name();
        moved += (dx != 0 || dy != 0);
    }
    EXPECT_GT(moved, 0);
    EXPECT_LE(std::abs(form->Left() - formLeft), 8);
    EXPECT_LE(std::abs(form->Top() - formTop), 8);
}

TEST_F(MotorFormTest, TicksRunNestedInAGearChangesPumpingWhileTheBeatTimerWaits) {
    // The real loop's pumping with the clock and sleeping injected: each
    // sleep of a sequence advances the clock and lets one tick come due, as
    // the 10 ms timer would; the first also has I picked.
    std::uint32_t now = 1000;
    std::uint32_t slept = 0;
    bool inSequence = false;
    bool pickedInside = false;
    struct Seen {
        TDriveState state;
        std::string engine, gear, road;
        std::int32_t engineRate, rollingRate;
    };
    std::vector<Seen> nested;
    const auto tick = [&] {
        form->Timer2Timer(form.get());
        const auto* items = form->DXWaveList1->Items();
        nested.push_back({form->DriveState(), form->Label1->Caption(), form->Label2->Caption(),
                          form->Label5->Caption(), items->Items(1)->Frequency(),
                          items->Items(2)->Frequency()});
    };
    SetClockSource([&] { return now; });
    SetSleepFunction([&](std::uint32_t ms) {
        now += ms;
        slept += ms;
        QMetaObject::invokeMethod(QCoreApplication::instance(), tick, Qt::QueuedConnection);
        if (slept == 20)
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [&] {
                    pickedInside = inSequence;
                    form->AI->Execute();
                },
                Qt::QueuedConnection);
    });
    // The beat timer's timing starts on the injected clock.
    form->Timer1->SetEnabled(false);
    form->Timer1->SetEnabled(true);
    int beats = 0;
    int beatsWhilePumping = 0;
    form->Timer1->OnTimer = [&](TObject*, std::int32_t) {
        ++beats;
        beatsWhilePumping += inSequence;
    };
    PointAt(form->Width() / 2);

    inSequence = true;
    form->AII->Execute();
    inSequence = false;
    QCoreApplication::processEvents(); // the tick the last sleep let come due
    SetSleepFunction(nullptr);

    // I picked inside II's pumping ran a second sequence there: both
    // sequences slept, and the inner one's gear change stands.
    EXPECT_TRUE(pickedInside);
    EXPECT_EQ(slept, 2 * (6 * 20u + 4 * 5u));
    EXPECT_EQ(form->DriveState().LeverPosition, lpI);
    EXPECT_EQ(form->DriveState().Gear, 1);
    // Every nested tick wrote the labels and both tones' rates from the
    // state it left; those after the inner change show gear 1 near 2500.
    ASSERT_GE(nested.size(), 20u);
    bool sawInnerChange = false;
    for (const Seen& seen : nested) {
        if (seen.state.EngineSpeed > 500) { // (shown before it is limited to idle)
            EXPECT_EQ(seen.engine, std::to_string(seen.state.EngineSpeed));
        }
        EXPECT_EQ(seen.gear, std::to_string(seen.state.Gear));
        EXPECT_EQ(seen.road, std::to_string(seen.state.RoadSpeed / 30));
        EXPECT_EQ(seen.engineRate, (seen.state.EngineSpeed - 500) * 10 + 22000);
        EXPECT_EQ(seen.rollingRate, seen.state.RoadSpeed * 100 + 15000);
        sawInnerChange |= seen.state.Gear == 1 && seen.state.EngineSpeed > 2400;
    }
    EXPECT_TRUE(sawInnerChange);
    // The beat timer never fired while the handlers pumped, though its
    // interval passed; the next idle step fires it.
    EXPECT_EQ(beatsWhilePumping, 0);
    EXPECT_EQ(beats, 0);
    Application->IdleStep();
    EXPECT_EQ(beats, 1);
    ResetClockSource();
}

} // namespace
} // namespace k58
