// Shared pieces of the sound components: the error base, the base that
// records platform results, the loader of entry points from shared modules,
// the hook on a control's message handling, and the collection of named
// items.
#pragma once

#include "platform/Controls.h"
#include "platform/DirectSound.h"
#include "sound/Collections.h"

#include <functional>
#include <memory>
#include <string>

namespace k58 {

K58_DECLARE_EXCEPTION(EDirectXError, Exception);

// Holds the result of the last platform call made through the object.
// Recording a nonzero result calls CheckResult, which subclasses use to act
// on the few results that matter; no result is ever turned into an error.
class TDirectX : public TPersistent {
public:
    HRESULT LastResult() const noexcept { return mLastResult; }
    // Records a result: stores it and, when it is not 0, calls CheckResult.
    void SetLastResult(HRESULT value);

    const char* ClassName() const noexcept override { return "TDirectX"; }

protected:
    // Called for every nonzero recorded result; does nothing here.
    virtual void CheckResult() {}
    // Stores a result without calling CheckResult.
    void StoreLastResult(HRESULT value) noexcept { mLastResult = value; }

private:
    HRESULT mLastResult = 0;
};

// Returns the entry point functionName of the shared module fileName,
// loading the module on first use. Loaded modules are cached by lower-cased
// file name for the life of the program and freed when it ends. Raises
// Exception "<fileName> not loaded" when the module cannot be loaded or has
// no such entry point.
void* LoadDllFunction(const std::string& fileName, const std::string& functionName);

// Takes over a control's message handling for as long as it exists: every
// message goes to the handler together with the entry it replaced, so the
// handler can run the normal handling itself. Freeing it puts the previous
// entry back.
class TControlSubClass {
public:
    using THandler = std::function<void(TMessage& message, const TWndMethod& defaultProc)>;

    TControlSubClass(TControl* control, THandler handler);
    ~TControlSubClass();
    TControlSubClass(const TControlSubClass&) = delete;
    TControlSubClass& operator=(const TControlSubClass&) = delete;

    TControl* Control() const noexcept { return mControl; }

private:
    // Shared with the entry installed on the control, so that a handler may
    // free its own hook while it runs.
    struct State {
        THandler handler;
        TWndMethod defaultProc;
    };
    TControl* mControl;
    std::shared_ptr<State> mState;
};

class THashCollectionItem : public TCollectionItem {
public:
    using TCollectionItem::TCollectionItem;

    const std::string& Name() const noexcept { return mName; }
    void SetName(std::string value) { mName = std::move(value); }

    const char* ClassName() const noexcept override { return "THashCollectionItem"; }

private:
    std::string mName;
};

// A collection whose items carry a name to look them up by.
class THashCollection : public TCollection {
public:
    // Index of the first item whose name equals name, ignoring ASCII case;
    // -1 when there is none.
    int IndexOf(const std::string& name) const;
    // The first item with that name, or nullptr.
    THashCollectionItem* Find(const std::string& name) const;

    const char* ClassName() const noexcept override { return "THashCollection"; }

protected:
    TCollectionItem* NewItem() override { return new THashCollectionItem(this); }
};

} // namespace k58
