// The main window on the offscreen platform: its definition, the lever
// buttons' enabling by the tick, and a gear change's shake.
#include "app/Motor_F.h"
#include "platform/Application.h"
#include "sound/DXSound.h"
#include "timer/DXTimer.h"

#include <QCursor>
#include <QWidget>
#include <gtest/gtest.h>

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
    EXPECT_EQ(form->Label1->Caption(), "Label1");
    EXPECT_EQ(form->Label5->Caption(), "Label1");
    EXPECT_EQ(form->Label2->Caption(), "1");
    EXPECT_EQ(form->Label3->Caption(), "Otáčky motoru:");
    EXPECT_EQ(form->Label4->Caption(), "Převodový stupeň");
    EXPECT_EQ(form->Label6->Caption(), "Rychlost:");
    EXPECT_EQ(form->Label7->Width(), 256);
    EXPECT_EQ(form->Label7->Height(), 33);
    EXPECT_EQ(form->PaintBox1->Left(), 184);
    EXPECT_EQ(form->PaintBox1->Width(), 105);
    EXPECT_FALSE(form->Image1->Visible());

    const std::vector<std::pair<TSpeedButton*, std::string>> buttons = {
        {form->SpeedButton1, "B"},  {form->SpeedButton2, "R"}, {form->SpeedButton3, "I"},
        {form->SpeedButton4, "II"}, {form->SpeedButton5, "A"}, {form->SpeedButton6, "N"}};
    int left = 312;
    for (auto [button, caption] : buttons) {
        EXPECT_EQ(button->Caption(), caption);
        EXPECT_EQ(button->Left(), left);
        EXPECT_EQ(button->Top(), 32);
        EXPECT_EQ(button->Width(), 41);
        EXPECT_FALSE(button->Down());
        left += 40;
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

} // namespace
} // namespace k58
