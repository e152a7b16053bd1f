// Speed buttons: press buttons that stay down as one of a group and run
// their linked action when clicked.
#pragma once

#include "platform/ActnList.h"
#include "platform/WidgetControl.h"

#include <string>
#include <vector>

namespace k58 {

// A speed button. With GroupIndex > 0 it belongs to the group of that index
// among the buttons on the same parent: a completed click puts it down and
// every other button of the group up; clicking the button already down keeps
// it down (unless AllowAllUp) and still counts as a click. A release outside
// the button cancels the click. Linked to an action, it shows the action's
// caption and enabled state and runs the action on every click; a disabled
// button is greyed, ignores the mouse and keeps its down or up state.
class TSpeedButton : public TWidgetControl, private TActionClient {
public:
    explicit TSpeedButton(TComponent* owner);
    ~TSpeedButton() override;

    TAction* Action() const noexcept { return mAction; }
    void SetAction(TAction* action);

    const std::string& Caption() const noexcept { return mCaption; }
    void SetCaption(const std::string& caption);

    int GroupIndex() const noexcept { return mGroupIndex; }
    void SetGroupIndex(int value);
    bool AllowAllUp() const noexcept { return mAllowAllUp; }
    void SetAllowAllUp(bool value);
    // Down only counts for grouped buttons. Putting a button down puts the
    // rest of its group up; with AllowAllUp off the down button of a group
    // can't be put up except by putting another one down.
    bool Down() const noexcept { return mDown; }
    void SetDown(bool value);

    const TFontData& Font() const noexcept { return mFont; }
    void SetFont(const TFontData& font);

    // Run on every completed click instead of the action, when assigned.
    TNotifyEvent OnClick;
    // Runs the click's handler: OnClick if assigned, else the linked action
    // (which runs only while enabled). An exception from the handler goes to
    // the handler reporter.
    void Click();

    // A completed mouse click, reported by the native button: updates the
    // group, then Click().
    void MouseClicked();

    void Notification(TComponent* component, TOperation operation) override;
    const char* ClassName() const noexcept override { return "TSpeedButton"; }

private:
    void ActionChanged(TAction* action) override;
    void ActionDestroyed(TAction* action) override;
    void ApplyDown(bool value);
    // Native parts, defined by the platform layer: show the caption, the
    // font and the down state as they now are.
    void ShowCaption();
    void ShowFont();
    void ShowDown();
    std::vector<TSpeedButton*> GroupMembers() const;
    void UpOthers();

    TAction* mAction = nullptr;
    std::string mCaption;
    TFontData mFont{"MS Sans Serif", 11, false};
    int mGroupIndex = 0;
    bool mAllowAllUp = false;
    bool mDown = false;
};

} // namespace k58
