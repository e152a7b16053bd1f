#include "platform/StdCtrls.h"

#include "platform/qt/Fonts.h"
#include "platform/qt/Native.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>

namespace k58 {
namespace {

// A plain-text label that reports font changes, so that an auto-sized label
// follows a font inherited from its form.
class LabelWidget : public QLabel {
public:
    LabelWidget() {
        setTextFormat(Qt::PlainText);
        setAlignment(Qt::AlignLeft | Qt::AlignTop);
        setMargin(0);
        setIndent(0);
        setContentsMargins(0, 0, 0, 0);
    }

    std::function<void()> onFontChange;

protected:
    void changeEvent(QEvent* event) override {
        QLabel::changeEvent(event);
        if (event->type() == QEvent::FontChange && onFontChange)
            onFontChange();
    }
};

// The caption's lines: CR LF and lone LF both end a line.
QString DisplayText(const std::string& caption) {
    QString text = QString::fromStdString(caption);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

} // namespace

TLabel::TLabel(TComponent* owner) : TWidgetControl(owner, NativeFor(new LabelWidget)) {
    auto* widget = static_cast<LabelWidget*>(NativeWidget(*this));
    widget->onFontChange = [this] { AdjustBounds(); };
    AdjustBounds();
}

void TLabel::SetCaption(const std::string& caption) {
    if (caption == mCaption)
        return;
    mCaption = caption;
    if (auto* label = static_cast<QLabel*>(NativeWidget(*this)))
        label->setText(DisplayText(caption));
    AdjustBounds();
}

void TLabel::SetWordWrap(bool value) {
    if (value == mWordWrap)
        return;
    mWordWrap = value;
    if (auto* label = static_cast<QLabel*>(NativeWidget(*this)))
        label->setWordWrap(value);
    AdjustBounds();
}

void TLabel::SetFont(const TFontData& font) {
    mFont = font;
    mParentFont = false;
    if (QWidget* widget = NativeWidget(*this))
        widget->setFont(MakeFont(font));
    AdjustBounds();
}

void TLabel::SetWidth(int value) {
    TWidgetControl::SetWidth(value);
    AdjustBounds();
}

void TLabel::SetHeight(int value) {
    TWidgetControl::SetHeight(value);
    AdjustBounds();
}

void TLabel::AdjustBounds() {
    auto* label = static_cast<QLabel*>(NativeWidget(*this));
    if (!mAutoSize || label == nullptr)
        return;
    // The size is measured from the font so that it does not depend on the
    // style's margins; an empty caption measures as one space. The left and
    // top stay where they are.
    const QFontMetrics metrics(label->font());
    QString text = DisplayText(mCaption);
    if (text.isEmpty())
        text = QStringLiteral(" ");
    if (mWordWrap) {
        const int width = label->width();
        const QRect bounds = metrics.boundingRect(QRect(0, 0, width, 1 << 20),
                                                  Qt::TextWordWrap | Qt::AlignLeft, text);
        label->resize(width, bounds.height());
        return;
    }
    const QStringList lines = text.split(QLatin1Char('\n'));
    int width = 0;
    for (const QString& line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const int height =
        metrics.height() + metrics.lineSpacing() * static_cast<int>(lines.size() - 1);
    label->resize(width, height);
}

} // namespace k58
