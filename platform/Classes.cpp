#include "platform/Classes.h"

#include <algorithm>

namespace k58 {

void TPersistent::Assign(const TPersistent* source) {
    if (source != nullptr) {
        source->AssignTo(this);
        return;
    }
    AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* dest) const {
    dest->AssignError(this);
}

void TPersistent::AssignError(const TPersistent* source) const {
    const std::string sourceName = source != nullptr ? source->ClassName() : "nil";
    throw EConvertError(Format("Cannot assign a %s to a %s", {sourceName, ClassName()}));
}

TComponent::TComponent(TComponent* owner) {
    if (owner != nullptr)
        owner->InsertComponent(this);
}

TComponent::~TComponent() {
    mDestroying = true;
    // Owned components go first, last created first. Each one leaves the
    // list from its own destructor, so its siblings hear of it as they would
    // of any removal and can drop their references to it.
    while (!mComponents.empty())
        delete mComponents.back();
    if (mOwner != nullptr)
        mOwner->RemoveComponent(this);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    for (TComponent* c : mComponents)
        if (c->Name() == name)
            return c;
    return nullptr;
}

void TComponent::Loaded() {
    mLoading = false;
}

void TComponent::Notification(TComponent* component, TOperation operation) {
    (void)component;
    (void)operation;
}

void TComponent::InsertComponent(TComponent* component) {
    component->mOwner = this;
    mComponents.push_back(component);
}

void TComponent::RemoveComponent(TComponent* component) {
    auto it = std::find(mComponents.begin(), mComponents.end(), component);
    if (it == mComponents.end())
        return;
    mComponents.erase(it);
    component->mOwner = nullptr;
    // Tell the remaining components (and the owner itself) that it is gone.
    Notification(component, TOperation::opRemove);
    const std::vector<TComponent*> others = mComponents;
    for (TComponent* other : others)
        other->Notification(component, TOperation::opRemove);
}

} // namespace k58
