#include "platform/Buttons.h"

#include "platform/qt/Fonts.h"
#include "platform/qt/Native.h"

#include <QAbstractButton>
#include <QString>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <functional>

namespace k58 {
namespace {

// Shows a speed button: raised when up, sunken while the mouse holds it or
// while it is the down button of its group, greyed when disabled. The mouse
// handling (press, release inside or outside) is the toolkit's.
class SpeedButtonWidget : public QAbstractButton {
public:
    SpeedButtonWidget() {
        // Speed buttons never take the keyboard focus.
        setFocusPolicy(Qt::NoFocus);
    }

    void SetLatched(bool value) {
        if (value == mLatched)
            return;
        mLatched = value;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        option.initFrom(this);
        option.text = text();
        option.state |= (isDown() || mLatched) ? QStyle::State_Sunken : QStyle::State_Raised;
        if (mLatched)
            option.state |= QStyle::State_On;
        painter.drawControl(QStyle::CE_PushButton, option);
    }

private:
    bool mLatched = false;
};

} // namespace

TSpeedButton::TSpeedButton(TComponent* owner)
    : TWidgetControl(owner, NativeFor(new SpeedButtonWidget)) {
    auto* widget = static_cast<SpeedButtonWidget*>(NativeWidget(*this));
    QObject::connect(widget, &QAbstractButton::clicked, widget, [this] { MouseClicked(); });
}

void TSpeedButton::ShowCaption() {
    if (auto* widget = static_cast<QAbstractButton*>(NativeWidget(*this)))
        widget->setText(QString::fromStdString(mCaption));
}

void TSpeedButton::ShowFont() {
    if (QWidget* widget = NativeWidget(*this))
        widget->setFont(MakeFont(mFont));
}

void TSpeedButton::ShowDown() {
    if (auto* widget = static_cast<SpeedButtonWidget*>(NativeWidget(*this)))
        widget->SetLatched(mDown);
}

} // namespace k58
