// The component base that every part of the K-58 window is built from.
//
// TPersistent gives copying between objects; TComponent adds an owner, a
// name, the owner's list of owned components in creation order (freed with
// the owner, last created first), a loading state that ends with Loaded(),
// and a notification to the owner's other components when one is removed.
#pragma once

#include "platform/SysUtils.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace k58 {

class TPersistent;
// The sender of an event: any object of the component library.
using TObject = TPersistent;
// An event that carries only its sender.
using TNotifyEvent = std::function<void(TObject* sender)>;

// Raised by TPersistent::Assign when the source cannot be copied in.
K58_DECLARE_EXCEPTION(EConvertError, Exception);

class TPersistent {
public:
    virtual ~TPersistent() = default;
    TPersistent() = default;
    TPersistent(const TPersistent&) = delete;
    TPersistent& operator=(const TPersistent&) = delete;

    // Copies source into this object. The base asks the source to copy itself
    // into this one and fails with "Cannot assign a <source> to a <this>".
    virtual void Assign(const TPersistent* source);
    virtual const char* ClassName() const noexcept { return "TPersistent"; }

protected:
    // Lets a source copy itself into dest; the base raises the assignment error.
    virtual void AssignTo(TPersistent* dest) const;
    [[noreturn]] void AssignError(const TPersistent* source) const;
};

enum class TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;

    TComponent* Owner() const noexcept { return mOwner; }
    const std::string& Name() const noexcept { return mName; }
    void SetName(std::string name) { mName = std::move(name); }

    int ComponentCount() const noexcept { return static_cast<int>(mComponents.size()); }
    TComponent* Components(int index) const { return mComponents.at(static_cast<size_t>(index)); }
    // The owned component with this name, or nullptr.
    TComponent* FindComponent(const std::string& name) const;

    // True for components that have a position within a window.
    virtual bool IsControl() const noexcept { return false; }

    // Loading state: set while a window definition applies stored settings;
    // Loaded() ends it.
    bool Loading() const noexcept { return mLoading; }
    void BeginLoading() noexcept { mLoading = true; }
    // Never set in a running program; kept so that design-time checks read
    // as they do in the component library.
    bool Designing() const noexcept { return false; }
    bool Destroying() const noexcept { return mDestroying; }

    // Run once on every component after the window definition's settings
    // and references have been applied. Overrides must call the base.
    virtual void Loaded();

    // Told to every owned component of this component's owner when one of
    // them is inserted or removed.
    virtual void Notification(TComponent* component, TOperation operation);

    const char* ClassName() const noexcept override { return "TComponent"; }

private:
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

    TComponent* mOwner = nullptr;
    std::string mName;
    std::vector<TComponent*> mComponents;
    bool mLoading = false;
    bool mDestroying = false;
};

} // namespace k58
