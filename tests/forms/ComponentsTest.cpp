#include "platform/ActnList.h"
#include "platform/Buttons.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/StdCtrls.h"
#include "platform/Timers.h"
#include "platform/qt/Native.h"

#include <QBuffer>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

namespace k58 {
namespace {

template <class T> T* Make(TComponent* owner, const std::string& name) {
    auto* component = new T(owner);
    component->SetName(name);
    return component;
}

// The window's components in creation order, made the way the window
// definition makes them; the sound and input components stand in as plain
// components.
std::unique_ptr<TForm> MakeWindow() {
    auto form = std::make_unique<TForm>(nullptr);
    form->SetClientSize(569, 152);
    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6"})
        Make<TLabel>(form.get(), name);
    Make<TPaintBox>(form.get(), "PaintBox1")->SetBounds(184, 24, 105, 105);
    auto* image = Make<TImage>(form.get(), "Image1");
    image->SetVisible(false);
    std::array<TSpeedButton*, 6> buttons{};
    for (int i = 0; i < 6; ++i) {
        buttons[static_cast<size_t>(i)] =
            Make<TSpeedButton>(form.get(), "SpeedButton" + std::to_string(i + 1));
        buttons[static_cast<size_t>(i)]->SetBounds(312 + 40 * i, 32, 41, 41);
        buttons[static_cast<size_t>(i)]->SetGroupIndex(1);
    }
    Make<TLabel>(form.get(), "Label7");
    for (const char* name : {"DXWaveList1", "DXSound1", "DXInput1"})
        Make<TComponent>(form.get(), name);
    Make<TTimer>(form.get(), "Timer2");
    for (const char* name : {"Timer1", "XPManifest1"})
        Make<TComponent>(form.get(), name);
    auto* list = Make<TActionList>(form.get(), "ActionList1");
    int i = 0;
    for (const char* name : {"AB", "AR", "AI", "AII", "AA", "AN"}) {
        auto* action = Make<TAction>(form.get(), name);
        action->SetCaption(std::string(name).substr(1));
        list->Add(action);
        buttons[static_cast<size_t>(i++)]->SetAction(action);
    }
    return form;
}

TEST(ComponentsTest, EveryControlsWidgetLiesOnTheClientAreaUnderItsName) {
    // (The real window's creation order: MotorFormTest.)
    auto form = MakeWindow();
    for (int i = 0; i < 15; ++i) {
        auto* control = dynamic_cast<TWidgetControl*>(form->Components(i));
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(NativeWidget(*control)->parentWidget(), ClientWidget(*form));
        EXPECT_EQ(NativeWidget(*control)->objectName().toStdString(), control->Name());
    }
    EXPECT_EQ(form->FindComponent("Timer2")->ClassName(), std::string("TTimer"));
}

TEST(ComponentsTest, ControlsMoveOnTheClientAreaWhereverTheyAreVisible) {
    auto form = MakeWindow();
    form->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(ClientWidget(*form)));
    auto* paintBox = static_cast<TPaintBox*>(form->FindComponent("PaintBox1"));
    auto* image = static_cast<TImage*>(form->FindComponent("Image1"));
    image->SetBounds(264, 120, 25, 17);
    EXPECT_TRUE(NativeWidget(*paintBox)->isVisible());
    EXPECT_FALSE(NativeWidget(*image)->isVisible());
    // The hidden image is moved like any other control.
    for (TWidgetControl* control :
         {static_cast<TWidgetControl*>(paintBox), static_cast<TWidgetControl*>(image)}) {
        const int left = control->Left();
        const int top = control->Top();
        control->SetLeft(left - 2);
        control->SetTop(top + 2);
        EXPECT_EQ(control->Left(), left - 2);
        EXPECT_EQ(control->Top(), top + 2);
        EXPECT_EQ(NativeWidget(*control)->pos(), QPoint(left - 2, top + 2));
    }
    EXPECT_EQ(paintBox->Width(), 105);
    EXPECT_EQ(paintBox->Height(), 105);
}

TEST(ComponentsTest, DestroyingTheWindowFreesControlsWhoseWidgetsWentWithIt) {
    auto form = MakeWindow();
    form->Show();
    auto* button = static_cast<TSpeedButton*>(form->FindComponent("SpeedButton3"));
    QPointer<QWidget> widget = NativeWidget(*button);
    form.reset();
    EXPECT_TRUE(widget.isNull());
}

TEST(ComponentsTest, ImageHoldsItsPictureBytesAndDecodesThem) {
    TImage image(nullptr);
    EXPECT_TRUE(image.Picture().Empty());
    QImage source(100, 100, QImage::Format_RGB888);
    source.fill(QColor(10, 20, 30));
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(source.save(&buffer, "BMP"));
    }
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    image.SetPictureData(data);
    EXPECT_EQ(image.PictureData(), data);
    ASSERT_FALSE(image.Picture().Empty());
    EXPECT_EQ(image.Picture().Width(), 100);
    EXPECT_EQ(image.Picture().Height(), 100);
    EXPECT_EQ(image.Picture().Pixel(50, 50), 0xFF0A141Eu);
    // The stored form carries the class name and, for a bitmap, the byte
    // count in front of the file.
    std::vector<std::uint8_t> stored{7, 'T', 'B', 'i', 't', 'm', 'a', 'p'};
    const auto size = static_cast<std::uint32_t>(data.size());
    for (int shift = 0; shift < 32; shift += 8)
        stored.push_back(static_cast<std::uint8_t>(size >> shift));
    stored.insert(stored.end(), data.begin(), data.end());
    image.SetPictureData(stored);
    EXPECT_EQ(image.PictureData(), stored);
    ASSERT_FALSE(image.Picture().Empty());
    EXPECT_EQ(image.Picture().Pixel(0, 99), 0xFF0A141Eu);
    // Bytes that are no picture are kept but give no image.
    image.SetPictureData({1, 2, 3});
    EXPECT_EQ(image.PictureData().size(), 3u);
    EXPECT_TRUE(image.Picture().Empty());
}

} // namespace
} // namespace k58
