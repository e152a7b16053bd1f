// Actions: named commands with a caption and an enabled state that the
// controls linked to them mirror, and the list that groups them.
#pragma once

#include "platform/Classes.h"

#include <string>
#include <vector>

namespace k58 {

class TAction;
class TActionList;

// Something that shows an action (a button) and follows its changes.
class TActionClient {
public:
    virtual void ActionChanged(TAction* action) = 0;
    // The action is going away; drop every reference to it.
    virtual void ActionDestroyed(TAction* action) = 0;

protected:
    ~TActionClient() = default;
};

class TAction : public TComponent {
public:
    explicit TAction(TComponent* owner);
    ~TAction() override;

    const std::string& Caption() const noexcept { return mCaption; }
    void SetCaption(const std::string& caption);
    bool Enabled() const noexcept { return mEnabled; }
    void SetEnabled(bool value);
    // Setting Checked on an action of a group (GroupIndex > 0) clears it on
    // the other actions of the same group in the same list.
    bool Checked() const noexcept { return mChecked; }
    void SetChecked(bool value);
    int GroupIndex() const noexcept { return mGroupIndex; }
    void SetGroupIndex(int value);

    TActionList* ActionList() const noexcept { return mActionList; }

    TNotifyEvent OnExecute;
    // Runs OnExecute with this action as sender when the action is enabled
    // and a handler is assigned; tells whether it ran.
    bool Execute();

    void AddClient(TActionClient* client);
    void RemoveClient(TActionClient* client);

    const char* ClassName() const noexcept override { return "TAction"; }

private:
    friend class TActionList;
    void Changed();

    std::string mCaption;
    bool mEnabled = true;
    bool mChecked = false;
    int mGroupIndex = 0;
    TActionList* mActionList = nullptr;
    std::vector<TActionClient*> mClients;
};

// References a set of actions; the actions themselves are owned by whoever
// created them (the form).
class TActionList : public TComponent {
public:
    explicit TActionList(TComponent* owner);
    ~TActionList() override;

    // Adds the action (once); it leaves any list it was in.
    void Add(TAction* action);
    void Remove(TAction* action);
    int ActionCount() const noexcept { return static_cast<int>(mActions.size()); }
    TAction* Actions(int index) const { return mActions.at(static_cast<size_t>(index)); }

    const char* ClassName() const noexcept override { return "TActionList"; }

private:
    std::vector<TAction*> mActions;
};

} // namespace k58
