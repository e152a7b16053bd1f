#include "platform/WidgetControl.h"

#include "platform/Forms.h"

#include "platform/win32/Native.h"

namespace k58 {

void TWidgetControl::TImpl::Invalidate() const {
    if (form != nullptr && visible)
        InvalidateFormArea(*form, bounds);
}

TWidgetControl::TWidgetControl(TComponent* owner, std::unique_ptr<TImpl> native)
    : TControl(owner), mImpl(std::move(native)) {
    if (auto* form = dynamic_cast<TForm*>(owner))
        AttachControl(*form, *this);
}

TWidgetControl::~TWidgetControl() {
    if (mImpl->form != nullptr)
        DetachControl(*mImpl->form, *this);
}

int TWidgetControl::Left() const {
    return mImpl->bounds.left;
}
int TWidgetControl::Top() const {
    return mImpl->bounds.top;
}

void TWidgetControl::SetLeft(int value) {
    TControl::SetLeft(value);
    SetBounds(value, Top(), Width(), Height());
}

void TWidgetControl::SetTop(int value) {
    TControl::SetTop(value);
    SetBounds(Left(), value, Width(), Height());
}

int TWidgetControl::Width() const {
    return mImpl->bounds.right - mImpl->bounds.left;
}
int TWidgetControl::Height() const {
    return mImpl->bounds.bottom - mImpl->bounds.top;
}

void TWidgetControl::SetWidth(int value) {
    SetBounds(Left(), Top(), value, Height());
}

void TWidgetControl::SetHeight(int value) {
    SetBounds(Left(), Top(), Width(), value);
}

void TWidgetControl::SetBounds(int left, int top, int width, int height) {
    const RECT bounds{left, top, left + (width > 0 ? width : 0), top + (height > 0 ? height : 0)};
    if (EqualRect(&bounds, &mImpl->bounds))
        return;
    // The old place shows what lies beneath again; the new one the control.
    mImpl->Invalidate();
    mImpl->bounds = bounds;
    mImpl->Invalidate();
}

void TWidgetControl::SetVisible(bool value) {
    if (value == mVisible)
        return;
    mImpl->Invalidate();
    mVisible = value;
    mImpl->visible = value;
    mImpl->Invalidate();
}

bool TWidgetControl::Enabled() const {
    return mImpl->enabled;
}

void TWidgetControl::SetEnabled(bool value) {
    if (value == mImpl->enabled)
        return;
    mImpl->enabled = value;
    if (!value)
        mImpl->CancelMouse();
    mImpl->Invalidate();
}

void TWidgetControl::SetName(std::string name) {
    TComponent::SetName(std::move(name));
}

std::uintptr_t TWidgetControl::ParentIdentity() const {
    return reinterpret_cast<std::uintptr_t>(mImpl->form);
}

void TWidgetControl::Loaded() {
    TControl::Loaded();
}

} // namespace k58
