#include "platform/qt/Buttons.h"

#include "platform/Handlers.h"
#include "platform/qt/Fonts.h"

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

TSpeedButton::TSpeedButton(TComponent* owner) : TWidgetControl(owner, new SpeedButtonWidget) {
    auto* widget = static_cast<SpeedButtonWidget*>(Widget());
    QObject::connect(widget, &QAbstractButton::clicked, widget, [this] { MouseClicked(); });
}

TSpeedButton::~TSpeedButton() {
    if (mAction != nullptr)
        mAction->RemoveClient(this);
}

void TSpeedButton::SetAction(TAction* action) {
    if (action == mAction)
        return;
    if (mAction != nullptr)
        mAction->RemoveClient(this);
    mAction = action;
    if (mAction != nullptr) {
        mAction->AddClient(this);
        ActionChanged(mAction);
    }
}

void TSpeedButton::SetCaption(const std::string& caption) {
    mCaption = caption;
    if (auto* widget = static_cast<QAbstractButton*>(Widget()))
        widget->setText(QString::fromStdString(caption));
}

void TSpeedButton::SetGroupIndex(int value) {
    if (value == mGroupIndex)
        return;
    mGroupIndex = value;
    if (mGroupIndex == 0)
        ApplyDown(false);
    else if (mDown)
        UpOthers();
}

void TSpeedButton::SetAllowAllUp(bool value) {
    if (value == mAllowAllUp)
        return;
    mAllowAllUp = value;
    // The whole group shares the setting.
    for (TSpeedButton* other : GroupMembers())
        other->mAllowAllUp = value;
}

void TSpeedButton::SetDown(bool value) {
    if (mGroupIndex == 0)
        value = false;
    if (value == mDown)
        return;
    // The one down button of a group that must keep one down stays down.
    if (mDown && !mAllowAllUp)
        return;
    ApplyDown(value);
    if (value)
        UpOthers();
}

void TSpeedButton::SetFont(const TFontData& font) {
    mFont = font;
    if (QWidget* widget = Widget())
        widget->setFont(MakeFont(font));
}

void TSpeedButton::Click() {
    if (OnClick) {
        RunHandler([this] { OnClick(this); });
        return;
    }
    if (mAction != nullptr)
        RunHandler([this] { mAction->Execute(); });
}

void TSpeedButton::MouseClicked() {
    if (mGroupIndex != 0) {
        if (mDown && mAllowAllUp)
            SetDown(false);
        else
            SetDown(true);
    }
    Click();
}

void TSpeedButton::Notification(TComponent* component, TOperation operation) {
    TWidgetControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == mAction)
        ActionDestroyed(mAction);
}

void TSpeedButton::ActionChanged(TAction* action) {
    SetCaption(action->Caption());
    SetEnabled(action->Enabled());
}

void TSpeedButton::ActionDestroyed(TAction* action) {
    if (action != mAction)
        return;
    mAction->RemoveClient(this);
    mAction = nullptr;
}

void TSpeedButton::ApplyDown(bool value) {
    mDown = value;
    if (auto* widget = static_cast<SpeedButtonWidget*>(Widget()))
        widget->SetLatched(value);
}

std::vector<TSpeedButton*> TSpeedButton::GroupMembers() const {
    // The group is the buttons of the same index on the same parent.
    std::vector<TSpeedButton*> members;
    if (mGroupIndex == 0 || Owner() == nullptr || Owner()->Destroying())
        return members;
    QWidget* parent = Widget() != nullptr ? Widget()->parentWidget() : nullptr;
    for (int i = 0; i < Owner()->ComponentCount(); ++i) {
        auto* other = dynamic_cast<TSpeedButton*>(Owner()->Components(i));
        if (other == nullptr || other == this || other->mGroupIndex != mGroupIndex)
            continue;
        QWidget* otherParent =
            other->Widget() != nullptr ? other->Widget()->parentWidget() : nullptr;
        if (otherParent == parent)
            members.push_back(other);
    }
    return members;
}

void TSpeedButton::UpOthers() {
    for (TSpeedButton* other : GroupMembers())
        other->ApplyDown(false);
}

} // namespace k58
