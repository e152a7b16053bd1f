#include "platform/ActnList.h"

#include <algorithm>

namespace k58 {

TAction::TAction(TComponent* owner) : TComponent(owner) {}

TAction::~TAction() {
    if (mActionList != nullptr)
        mActionList->Remove(this);
    // Clients drop their link; take a copy since they unregister as they go.
    const std::vector<TActionClient*> clients = mClients;
    mClients.clear();
    for (TActionClient* client : clients)
        client->ActionDestroyed(this);
}

void TAction::SetCaption(const std::string& caption) {
    if (caption == mCaption)
        return;
    mCaption = caption;
    Changed();
}

void TAction::SetEnabled(bool value) {
    if (value == mEnabled)
        return;
    mEnabled = value;
    Changed();
}

void TAction::SetChecked(bool value) {
    if (value == mChecked)
        return;
    mChecked = value;
    if (value && mGroupIndex > 0 && mActionList != nullptr) {
        for (int i = 0; i < mActionList->ActionCount(); ++i) {
            TAction* other = mActionList->Actions(i);
            if (other != this && other->mGroupIndex == mGroupIndex)
                other->SetChecked(false);
        }
    }
    Changed();
}

void TAction::SetGroupIndex(int value) {
    if (value == mGroupIndex)
        return;
    mGroupIndex = value;
    Changed();
}

bool TAction::Execute() {
    if (!mEnabled || !OnExecute)
        return false;
    OnExecute(this);
    return true;
}

void TAction::AddClient(TActionClient* client) {
    if (client != nullptr && std::find(mClients.begin(), mClients.end(), client) == mClients.end())
        mClients.push_back(client);
}

void TAction::RemoveClient(TActionClient* client) {
    mClients.erase(std::remove(mClients.begin(), mClients.end(), client), mClients.end());
}

void TAction::Changed() {
    // A client may unlink itself while being told; iterate over a copy.
    const std::vector<TActionClient*> clients = mClients;
    for (TActionClient* client : clients)
        if (std::find(mClients.begin(), mClients.end(), client) != mClients.end())
            client->ActionChanged(this);
}

TActionList::TActionList(TComponent* owner) : TComponent(owner) {}

TActionList::~TActionList() {
    for (TAction* action : mActions)
        action->mActionList = nullptr;
}

void TActionList::Add(TAction* action) {
    if (action == nullptr || action->mActionList == this)
        return;
    if (action->mActionList != nullptr)
        action->mActionList->Remove(action);
    action->mActionList = this;
    mActions.push_back(action);
}

void TActionList::Remove(TAction* action) {
    auto it = std::find(mActions.begin(), mActions.end(), action);
    if (it == mActions.end())
        return;
    mActions.erase(it);
    action->mActionList = nullptr;
}

} // namespace k58
