#include "ReporterFixture.h"
#include "platform/Cursor.h"
#include "platform/Forms.h"
#include "platform/qt/Native.h"

#include <QCursor>
#include <QTest>

#include <memory>
#include <stdexcept>

namespace k58 {
namespace {

using test::ReportedMessages;

class FormTest : public test::ReportingTest {
protected:
    void SetUp() override {
        ReportingTest::SetUp();
        form = std::make_unique<TForm>(nullptr);
        form->SetName("MotorForm");
        form->SetCaption("K-58");
        form->SetClientSize(569, 152);
        form->SetLeft(273);
        form->SetTop(229);
    }

    void ShowAndWait() {
        form->Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(ClientWidget(*form)));
    }

    std::unique_ptr<TForm> form;
};

TEST_F(FormTest, ShownWindowHasTitleExactClientSizeAndFramePosition) {
    ShowAndWait();
    QWidget* window = ClientWidget(*form);
    EXPECT_EQ(window->objectName(), "MotorForm");
    EXPECT_EQ(window->windowTitle(), "K-58");
    EXPECT_EQ(form->ClientWidth(), 569);
    EXPECT_EQ(form->ClientHeight(), 152);
    // Left and Top are the outer frame's; the client area lies inside it.
    EXPECT_EQ(form->Left(), 273);
    EXPECT_EQ(form->Top(), 229);
    EXPECT_EQ(window->frameGeometry().topLeft(), QPoint(273, 229));
    EXPECT_GE(window->geometry().x(), 273);
    // Width as the outer width of a real frame is checked end to end, under
    // a window manager (tests/e2e/test_panel.py): the offscreen platform's
    // frame says nothing about it.
}

TEST_F(FormTest, WindowCannotBeResizedOrMaximisedButCanBeMinimised) {
    QWidget* window = ClientWidget(*form);
    EXPECT_EQ(window->minimumSize(), QSize(569, 152));
    EXPECT_EQ(window->maximumSize(), QSize(569, 152));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    ShowAndWait();
    window->resize(800, 400);
    EXPECT_EQ(form->ClientWidth(), 569);
    EXPECT_EQ(form->ClientHeight(), 152);
}

TEST_F(FormTest, MovingTheWindowMovesTheFrameAndClientCoordinatesFollow) {
    ShowAndWait();
    form->SetLeft(form->Left() + 7);
    form->SetTop(form->Top() - 3);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->Left(), 280);
    EXPECT_EQ(form->Top(), 226);
    EXPECT_EQ(ClientWidget(*form)->frameGeometry().topLeft(), QPoint(280, 226));

    // The cursor in client coordinates counts from the client area's corner,
    // inside the frame; points left of it come out negative.
    const QPoint clientOrigin = ClientWidget(*form)->mapToGlobal(QPoint(0, 0));
    QCursor::setPos(clientOrigin + QPoint(100, 50));
    const TPoint cursor = Mouse_CursorPos();
    EXPECT_EQ(cursor, (TPoint{clientOrigin.x() + 100, clientOrigin.y() + 50}));
    EXPECT_EQ(form->ScreenToClient(cursor), (TPoint{100, 50}));
    EXPECT_EQ(form->ScreenToClient({clientOrigin.x() - 300, 0}).X, -300);
    EXPECT_EQ(form->ClientToScreen({100, 50}), cursor);
}

TEST_F(FormTest, BackgroundIsTheButtonFaceColour) {
    QWidget* window = ClientWidget(*form);
    EXPECT_TRUE(window->autoFillBackground());
    EXPECT_EQ(window->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Button));
}

TEST_F(FormTest, NativeWindowCreationIsAnnouncedThroughWindowProc) {
    int creations = 0;
    TWndMethod previous = form->WindowProc;
    form->WindowProc = [&](TMessage& message) {
        if (message.Msg == WM_CREATE)
            ++creations;
        previous(message);
    };
    EXPECT_FALSE(form->HandleAllocated());
    const HWND first = form->Handle();
    EXPECT_NE(first, nullptr);
    EXPECT_TRUE(form->HandleAllocated());
    EXPECT_EQ(creations, 1);
    // Asking again does not make another one.
    EXPECT_EQ(form->Handle(), first);
    ShowAndWait();
    EXPECT_EQ(creations, 1);

    form->RecreateWnd();
    EXPECT_EQ(creations, 2);
    EXPECT_NE(form->Handle(), first);
    EXPECT_TRUE(form->Visible());
}

TEST_F(FormTest, ClosingRaisesOnCloseAndItsErrorsAreReported) {
    ShowAndWait();
    int closes = 0;
    TObject* sender = nullptr;
    form->OnClose = [&](TObject* s) {
        ++closes;
        sender = s;
        throw std::runtime_error("close failed");
    };
    form->Close();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(sender, form.get());
    EXPECT_FALSE(form->Visible());
    ASSERT_EQ(ReportedMessages().size(), 1u);
    EXPECT_EQ(ReportedMessages()[0], "close failed");
}

TEST_F(FormTest, AnErrorInAWindowCreationHookIsReported) {
    form->WindowProc = [](TMessage& message) {
        if (message.Msg == WM_CREATE)
            throw std::runtime_error("hook failed");
    };
    EXPECT_NE(form->Handle(), nullptr);
    ASSERT_EQ(ReportedMessages().size(), 1u);
    EXPECT_EQ(ReportedMessages()[0], "hook failed");
}

TEST(FormLifetimeTest, FormFreedByItsOwnCloseHandlerLeavesNothingDangling) {
    auto* form = new TForm(nullptr);
    QPointer<QWidget> window = ClientWidget(*form);
    form->Show();
    form->OnClose = [form](TObject*) { delete form; };
    window->close();
    EXPECT_FALSE(window.isNull());
    EXPECT_FALSE(window->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

} // namespace
} // namespace k58
