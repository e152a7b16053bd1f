#include "platform/Forms.h"
#include "platform/StdCtrls.h"
#include "platform/qt/Native.h"

#include <QFontInfo>
#include <QLabel>
#include <gtest/gtest.h>

#include <memory>

namespace k58 {
namespace {

class LabelTest : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TForm>(nullptr);
        form->SetClientSize(569, 152);
        label = new TLabel(form.get());
        label->SetLeft(16);
        label->SetTop(56);
    }
    QLabel* Widget() const { return static_cast<QLabel*>(NativeWidget(*label)); }

    std::unique_ptr<TForm> form;
    TLabel* label = nullptr;
};

TEST_F(LabelTest, AutoSizedLabelFitsItsTextAndKeepsLeftAndTop) {
    label->SetCaption("Rychlost:");
    const int shortWidth = label->Width();
    const int height = label->Height();
    EXPECT_GT(shortWidth, 20);
    EXPECT_GE(height, 11);
    EXPECT_LE(height, 16);
    label->SetCaption("Otáčky motoru:");
    EXPECT_GT(label->Width(), shortWidth);
    EXPECT_EQ(label->Height(), height);
    EXPECT_EQ(label->Left(), 16);
    EXPECT_EQ(label->Top(), 56);
    // The text fits: the toolkit's own measure of the text is no wider.
    EXPECT_GE(label->Width(), Widget()->fontMetrics().horizontalAdvance(Widget()->text()));
    label->SetCaption("1");
    EXPECT_LT(label->Width(), shortWidth);
    EXPECT_EQ(Widget()->text(), "1");
}

TEST_F(LabelTest, CzechTextIsKeptAsUtf8AndRendersWithAFontThatHasIt) {
    const std::string text = "Převodový stupeň";
    label->SetCaption(text);
    EXPECT_EQ(label->Caption(), text);
    EXPECT_EQ(Widget()->text(), QString::fromUtf8("Převodový stupeň"));
    for (const QChar ch : QString::fromUtf8("řýňáčš"))
        EXPECT_TRUE(Widget()->fontMetrics().inFontUcs4(ch.unicode()))
            << static_cast<int>(ch.unicode());
}

TEST_F(LabelTest, FontOfItsOwnOrFromTheFormResizesTheLabel) {
    label->SetCaption("1");
    EXPECT_TRUE(label->ParentFont());
    EXPECT_EQ(Widget()->font().pixelSize(), 11);
    const int smallHeight = label->Height();
    label->SetFont({"Arial", 23, false});
    EXPECT_FALSE(label->ParentFont());
    EXPECT_EQ(Widget()->font().pixelSize(), 23);
    EXPECT_EQ(QFontInfo(Widget()->font()).family(), "Liberation Sans");
    EXPECT_GT(label->Height(), smallHeight * 3 / 2);

    // A label that uses the form's font follows a change of it.
    auto* other = new TLabel(form.get());
    other->SetCaption("Label1");
    const int width = other->Width();
    form->SetFont({"MS Sans Serif", 22, true});
    EXPECT_GT(other->Width(), width * 3 / 2);
    EXPECT_EQ(NativeWidget(*label)->font().pixelSize(), 23);
}

TEST_F(LabelTest, FixedSizeWordWrappedLabelKeepsItsSizeAndBreaksLines) {
    label->SetAutoSize(false);
    label->SetWordWrap(true);
    label->SetBounds(312, 104, 256, 33);
    label->SetCaption("Program se ovládá myší. Pohybem od středu\r\nformuláře doprava zrychlujete, "
                      "doleva zpomalujete.");
    EXPECT_EQ(label->Width(), 256);
    EXPECT_EQ(label->Height(), 33);
    EXPECT_TRUE(Widget()->wordWrap());
    // The line break is shown as one, without a stray carriage return.
    EXPECT_FALSE(Widget()->text().contains(QLatin1Char('\r')));
    EXPECT_TRUE(Widget()->text().contains(QLatin1Char('\n')));
}

TEST_F(LabelTest, AutoSizedLabelMeasuresEveryLine) {
    label->SetCaption("ab");
    const int oneLine = label->Height();
    label->SetCaption("ab\r\nabcdefgh");
    EXPECT_GT(label->Height(), oneLine * 3 / 2);
    label->SetCaption("abcdefgh");
    const int longLine = label->Width();
    label->SetCaption("ab\nabcdefgh");
    EXPECT_EQ(label->Width(), longLine);
}

} // namespace
} // namespace k58
