// Holds one reference to a reference-counted platform object.
#pragma once

#include <utility>

namespace k58 {

template <class T> class TInterfacePtr {
public:
    TInterfacePtr() = default;
    ~TInterfacePtr() { Reset(); }
    TInterfacePtr(const TInterfacePtr&) = delete;
    TInterfacePtr& operator=(const TInterfacePtr&) = delete;

    T* Get() const noexcept { return mObject; }
    explicit operator bool() const noexcept { return mObject != nullptr; }

    // Takes over a reference the caller already holds (as a creating call
    // hands one out); the old reference is released.
    void Attach(T* object) noexcept {
        T* old = std::exchange(mObject, object);
        if (old != nullptr)
            old->Release();
    }
    void Reset() noexcept { Attach(nullptr); }

private:
    T* mObject = nullptr;
};

} // namespace k58
