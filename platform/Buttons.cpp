#include "platform/Buttons.h"

#include "platform/Handlers.h"

namespace k58 {

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
    ShowCaption();
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
    ShowFont();
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
    ShowDown();
}

std::vector<TSpeedButton*> TSpeedButton::GroupMembers() const {
    // The group is the buttons of the same index on the same parent.
    std::vector<TSpeedButton*> members;
    if (mGroupIndex == 0 || Owner() == nullptr || Owner()->Destroying())
        return members;
    const std::uintptr_t parent = ParentIdentity();
    for (int i = 0; i < Owner()->ComponentCount(); ++i) {
        auto* other = dynamic_cast<TSpeedButton*>(Owner()->Components(i));
        if (other == nullptr || other == this || other->mGroupIndex != mGroupIndex)
            continue;
        if (other->ParentIdentity() == parent)
            members.push_back(other);
    }
    return members;
}

void TSpeedButton::UpOthers() {
    for (TSpeedButton* other : GroupMembers())
        other->ApplyDown(false);
}

} // namespace k58
