#include "platform/qt/WidgetControl.h"

#include "platform/qt/Forms.h"

#include <QString>

namespace k58 {

TWidgetControl::TWidgetControl(TComponent* owner, QWidget* widget)
    : TControl(owner), mWidget(widget) {
    if (auto* form = dynamic_cast<TForm*>(owner))
        SetParentWidget(form->ClientWidget());
}

TWidgetControl::~TWidgetControl() {
    // The widget is already gone when the form's window (its parent) was
    // destroyed first.
    delete mWidget.data();
}

int TWidgetControl::Left() const {
    return mWidget ? mWidget->x() : TControl::Left();
}
int TWidgetControl::Top() const {
    return mWidget ? mWidget->y() : TControl::Top();
}

void TWidgetControl::SetLeft(int value) {
    TControl::SetLeft(value);
    if (mWidget)
        mWidget->move(value, mWidget->y());
}

void TWidgetControl::SetTop(int value) {
    TControl::SetTop(value);
    if (mWidget)
        mWidget->move(mWidget->x(), value);
}

int TWidgetControl::Width() const {
    return mWidget ? mWidget->width() : 0;
}
int TWidgetControl::Height() const {
    return mWidget ? mWidget->height() : 0;
}

void TWidgetControl::SetWidth(int value) {
    if (mWidget)
        mWidget->resize(value, mWidget->height());
}

void TWidgetControl::SetHeight(int value) {
    if (mWidget)
        mWidget->resize(mWidget->width(), value);
}

void TWidgetControl::SetBounds(int left, int top, int width, int height) {
    SetLeft(left);
    SetTop(top);
    SetWidth(width);
    SetHeight(height);
}

void TWidgetControl::SetVisible(bool value) {
    mVisible = value;
    // Without a parent the widget would become a window of its own.
    if (mWidget)
        mWidget->setVisible(value && mWidget->parentWidget() != nullptr);
}

bool TWidgetControl::Enabled() const {
    return mWidget ? mWidget->isEnabled() : false;
}

void TWidgetControl::SetEnabled(bool value) {
    if (mWidget)
        mWidget->setEnabled(value);
}

void TWidgetControl::SetName(std::string name) {
    if (mWidget)
        mWidget->setObjectName(QString::fromStdString(name));
    TComponent::SetName(std::move(name));
}

void TWidgetControl::SetParentWidget(QWidget* parent) {
    if (!mWidget)
        return;
    mWidget->setParent(parent);
    // A re-parented widget is hidden by the toolkit; show it again as set.
    SetVisible(mVisible);
}

void TWidgetControl::Loaded() {
    TControl::Loaded();
    if (mWidget)
        mWidget->setObjectName(QString::fromStdString(Name()));
}

} // namespace k58
