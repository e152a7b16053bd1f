#include "platform/WidgetControl.h"

#include "platform/Forms.h"
#include "platform/qt/Native.h"

#include <QString>

namespace k58 {

TWidgetControl::TWidgetControl(TComponent* owner, std::unique_ptr<TImpl> native)
    : TControl(owner), mImpl(std::move(native)) {
    if (auto* form = dynamic_cast<TForm*>(owner))
        SetParentWidget(*this, ClientWidget(*form));
}

TWidgetControl::~TWidgetControl() {
    // The widget is already gone when the form's window (its parent) was
    // destroyed first.
    delete mImpl->widget.data();
}

int TWidgetControl::Left() const {
    QWidget* widget = NativeWidget(*this);
    return widget ? widget->x() : TControl::Left();
}
int TWidgetControl::Top() const {
    QWidget* widget = NativeWidget(*this);
    return widget ? widget->y() : TControl::Top();
}

void TWidgetControl::SetLeft(int value) {
    TControl::SetLeft(value);
    if (QWidget* widget = NativeWidget(*this))
        widget->move(value, widget->y());
}

void TWidgetControl::SetTop(int value) {
    TControl::SetTop(value);
    if (QWidget* widget = NativeWidget(*this))
        widget->move(widget->x(), value);
}

int TWidgetControl::Width() const {
    QWidget* widget = NativeWidget(*this);
    return widget ? widget->width() : 0;
}
int TWidgetControl::Height() const {
    QWidget* widget = NativeWidget(*this);
    return widget ? widget->height() : 0;
}

void TWidgetControl::SetWidth(int value) {
    if (QWidget* widget = NativeWidget(*this))
        widget->resize(value, widget->height());
}

void TWidgetControl::SetHeight(int value) {
    if (QWidget* widget = NativeWidget(*this))
        widget->resize(widget->width(), value);
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
    if (QWidget* widget = NativeWidget(*this))
        widget->setVisible(value && widget->parentWidget() != nullptr);
}

bool TWidgetControl::Enabled() const {
    QWidget* widget = NativeWidget(*this);
    return widget ? widget->isEnabled() : false;
}

void TWidgetControl::SetEnabled(bool value) {
    if (QWidget* widget = NativeWidget(*this))
        widget->setEnabled(value);
}

void TWidgetControl::SetName(std::string name) {
    if (QWidget* widget = NativeWidget(*this))
        widget->setObjectName(QString::fromStdString(name));
    TComponent::SetName(std::move(name));
}

std::uintptr_t TWidgetControl::ParentIdentity() const {
    QWidget* widget = NativeWidget(*this);
    return reinterpret_cast<std::uintptr_t>(widget ? widget->parentWidget() : nullptr);
}

void TWidgetControl::Loaded() {
    TControl::Loaded();
    if (QWidget* widget = NativeWidget(*this))
        widget->setObjectName(QString::fromStdString(Name()));
}

void SetParentWidget(TWidgetControl& control, QWidget* parent) {
    QWidget* widget = NativeWidget(control);
    if (!widget)
        return;
    widget->setParent(parent);
    // A re-parented widget is hidden by the toolkit; show it again as set.
    control.SetVisible(control.Visible());
}

} // namespace k58
