#include "ReporterFixture.h"
#include "platform/ActnList.h"
#include "platform/Buttons.h"
#include "platform/Forms.h"
#include "platform/qt/Native.h"

#include <QAbstractButton>
#include <QMouseEvent>
#include <QTest>

#include <array>
#include <memory>
#include <stdexcept>
#include <string>

namespace k58 {
namespace {

using test::ReportedMessages;

// Six grouped lever buttons, each linked to an action that counts its runs.
class SpeedButtonTest : public test::ReportingTest {
protected:
    void SetUp() override {
        ReportingTest::SetUp();
        form = std::make_unique<TForm>(nullptr);
        form->SetClientSize(569, 152);
        for (size_t i = 0; i < buttons.size(); ++i) {
            buttons[i] = new TSpeedButton(form.get());
            buttons[i]->SetName("SpeedButton" + std::to_string(i + 1));
            buttons[i]->SetBounds(312 + 40 * static_cast<int>(i), 32, 41, 41);
            buttons[i]->SetGroupIndex(1);
            buttons[i]->SetFont({"Times New Roman", 21, true});
        }
        list = new TActionList(form.get());
        const std::array<const char*, 6> captions{"B", "R", "I", "II", "A", "N"};
        for (size_t i = 0; i < actions.size(); ++i) {
            actions[i] = new TAction(form.get());
            actions[i]->SetCaption(captions[i]);
            actions[i]->SetGroupIndex(1);
            actions[i]->OnExecute = [this, i](TObject* sender) {
                ++runs[i];
                lastSender = sender;
            };
            list->Add(actions[i]);
            buttons[i]->SetAction(actions[i]);
        }
        form->Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(ClientWidget(*form)));
    }

    QAbstractButton* Widget(size_t i) const {
        return static_cast<QAbstractButton*>(NativeWidget(*buttons[i]));
    }
    void ClickButton(size_t i) { QTest::mouseClick(Widget(i), Qt::LeftButton); }
    std::array<bool, 6> DownStates() const {
        std::array<bool, 6> down{};
        for (size_t i = 0; i < buttons.size(); ++i)
            down[i] = buttons[i]->Down();
        return down;
    }

    std::unique_ptr<TForm> form;
    std::array<TSpeedButton*, 6> buttons{};
    std::array<TAction*, 6> actions{};
    std::array<int, 6> runs{};
    TActionList* list = nullptr;
    TObject* lastSender = nullptr;
};

TEST_F(SpeedButtonTest, ButtonsShowTheirActionsCaptionsAndFollowChanges) {
    EXPECT_EQ(Widget(3)->text(), "II");
    EXPECT_EQ(buttons[3]->Caption(), "II");
    actions[3]->SetCaption("2");
    EXPECT_EQ(Widget(3)->text(), "2");
    EXPECT_EQ(Widget(0)->font().pixelSize(), 21);
    EXPECT_TRUE(Widget(0)->font().bold());
    // No button is down at start, and the focus never lands on one.
    EXPECT_EQ(DownStates(), (std::array<bool, 6>{}));
    EXPECT_EQ(Widget(0)->focusPolicy(), Qt::NoFocus);
}

TEST_F(SpeedButtonTest, ClickPutsOneButtonOfTheGroupDownAndRunsItsAction) {
    ClickButton(2);
    EXPECT_EQ(runs, (std::array<int, 6>{0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(lastSender, actions[2]);
    EXPECT_EQ(DownStates(), (std::array<bool, 6>{false, false, true, false, false, false}));

    ClickButton(5);
    EXPECT_EQ(runs, (std::array<int, 6>{0, 0, 1, 0, 0, 1}));
    EXPECT_EQ(DownStates(), (std::array<bool, 6>{false, false, false, false, false, true}));

    // The button already down stays down and still runs its action.
    ClickButton(5);
    ClickButton(5);
    EXPECT_EQ(runs[5], 3);
    EXPECT_TRUE(buttons[5]->Down());

    // With AllowAllUp off the group can't become all up.
    buttons[5]->SetDown(false);
    EXPECT_TRUE(buttons[5]->Down());
    buttons[1]->SetDown(true);
    EXPECT_EQ(DownStates(), (std::array<bool, 6>{false, true, false, false, false, false}));
    EXPECT_EQ(runs[1], 0);
}

TEST_F(SpeedButtonTest, ReleasingOutsideTheButtonCancelsTheClick) {
    QAbstractButton* widget = Widget(0);
    QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_TRUE(widget->isDown());
    QTest::mouseMove(widget, QPoint(200, 20));
    QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(200, 20));
    EXPECT_FALSE(widget->isDown());
    EXPECT_EQ(runs[0], 0);
    EXPECT_FALSE(buttons[0]->Down());
}

TEST_F(SpeedButtonTest, DisabledActionGreysItsButtonKeepsItsStateAndIgnoresClicks) {
    ClickButton(1);
    ASSERT_TRUE(buttons[1]->Down());
    actions[1]->SetEnabled(false);
    actions[2]->SetEnabled(false);
    EXPECT_FALSE(Widget(1)->isEnabled());
    EXPECT_FALSE(buttons[2]->Enabled());
    EXPECT_TRUE(buttons[1]->Down());

    ClickButton(1);
    ClickButton(2);
    EXPECT_EQ(runs, (std::array<int, 6>{0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(DownStates(), (std::array<bool, 6>{false, true, false, false, false, false}));
    // A disabled action can't be run from code either.
    EXPECT_FALSE(actions[2]->Execute());

    // Another button going down puts the disabled one up, as display only.
    ClickButton(4);
    EXPECT_FALSE(buttons[1]->Down());

    actions[2]->SetEnabled(true);
    EXPECT_TRUE(Widget(2)->isEnabled());
    ClickButton(2);
    EXPECT_EQ(runs[2], 1);
    EXPECT_TRUE(buttons[2]->Down());
}

TEST_F(SpeedButtonTest, AnExceptionFromTheActionIsReportedAndTheButtonStaysUsable) {
    actions[0]->OnExecute = [](TObject*) { throw std::runtime_error("lever stuck"); };
    ClickButton(0);
    ASSERT_EQ(ReportedMessages().size(), 1u);
    EXPECT_EQ(ReportedMessages()[0], "lever stuck");
    EXPECT_TRUE(buttons[0]->Down());
    ClickButton(3);
    EXPECT_EQ(runs[3], 1);
}

TEST_F(SpeedButtonTest, AnActionThatPumpsMessagesMayRunFurtherClicksInsideIt) {
    // A handler that processes pending events lets queued clicks run inside
    // it, on another button and on its own, and the group stays consistent.
    auto postClick = [this](size_t i) {
        const QPoint centre = Widget(i)->rect().center();
        const QPoint global = Widget(i)->mapToGlobal(centre);
        QCoreApplication::postEvent(Widget(i),
                                    new QMouseEvent(QEvent::MouseButtonPress, centre, global,
                                                    Qt::LeftButton, Qt::LeftButton, {}));
        QCoreApplication::postEvent(Widget(i),
                                    new QMouseEvent(QEvent::MouseButtonRelease, centre, global,
                                                    Qt::LeftButton, Qt::NoButton, {}));
    };
    int depth = 0;
    int maxDepth = 0;
    actions[2]->OnExecute = [&](TObject*) {
        ++runs[2];
        maxDepth = std::max(maxDepth, ++depth);
        if (runs[2] == 1) {
            postClick(3);
            postClick(2);
            QCoreApplication::processEvents();
            EXPECT_EQ(runs[3], 1);
            EXPECT_EQ(runs[2], 2);
        }
        --depth;
    };
    ClickButton(2);
    EXPECT_EQ(runs[2], 2);
    EXPECT_EQ(runs[3], 1);
    EXPECT_EQ(maxDepth, 2);
    EXPECT_EQ(DownStates(), (std::array<bool, 6>{false, false, true, false, false, false}));
}

TEST_F(SpeedButtonTest, ButtonsOfOtherGroupsOrWithoutGroupAreIndependent) {
    buttons[5]->SetGroupIndex(2);
    buttons[4]->SetGroupIndex(0);
    ClickButton(0);
    ClickButton(5);
    EXPECT_TRUE(buttons[0]->Down());
    EXPECT_TRUE(buttons[5]->Down());
    // An ungrouped button never stays down but still runs its action.
    ClickButton(4);
    EXPECT_FALSE(buttons[4]->Down());
    EXPECT_EQ(runs[4], 1);
    buttons[4]->SetDown(true);
    EXPECT_FALSE(buttons[4]->Down());
    // With AllowAllUp the down button goes up when clicked.
    buttons[0]->SetAllowAllUp(true);
    EXPECT_TRUE(buttons[1]->AllowAllUp());
    ClickButton(0);
    EXPECT_FALSE(buttons[0]->Down());
    EXPECT_EQ(runs[0], 2);
}

TEST_F(SpeedButtonTest, ActionsComeAndGoWithoutDanglingLinks) {
    // Checked in a group is exclusive among the list's actions and is not
    // shown by the buttons.
    actions[5]->SetChecked(true);
    actions[0]->SetChecked(true);
    EXPECT_FALSE(actions[5]->Checked());
    EXPECT_FALSE(buttons[0]->Down());

    delete actions[3];
    EXPECT_EQ(buttons[3]->Action(), nullptr);
    EXPECT_EQ(list->ActionCount(), 5);
    ClickButton(3); // no action left: nothing runs, nothing crashes
    EXPECT_TRUE(buttons[3]->Down());

    delete buttons[2];
    actions[2]->SetCaption("X"); // the freed button is no longer told
    delete list;
    EXPECT_EQ(actions[0]->ActionList(), nullptr);
    actions[0]->SetChecked(false);
}

} // namespace
} // namespace k58
