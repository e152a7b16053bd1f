// Controls and forms as the system's components see them, independent of the
// toolkit that shows them.
//
// A control is a component with a position in its window and a replaceable
// message-handling entry (WindowProc). A form is the window itself; it has a
// native window handle that is made on demand and announced to WindowProc
// with WM_CREATE whenever it is (re)made.
#pragma once

#include "platform/Classes.h"

#include <cstdint>
#include <functional>

// What a native window handle points to; on Windows the system's own handle
// type points to it too, so the handles are the same type there.
struct HWND__;

namespace k58 {

using HWND = ::HWND__*;

struct TMessage {
    std::uint32_t Msg = 0;
    std::uintptr_t WParam = 0;
    std::intptr_t LParam = 0;
    std::intptr_t Result = 0;
};

constexpr std::uint32_t WM_CREATE = 0x0001;

using TWndMethod = std::function<void(TMessage&)>;

class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner);

    bool IsControl() const noexcept override { return true; }

    virtual int Left() const { return mLeft; }
    virtual int Top() const { return mTop; }
    virtual void SetLeft(int value) { mLeft = value; }
    virtual void SetTop(int value) { mTop = value; }

    // The message-handling entry; starts as WndProc and may be replaced by a
    // hook that passes messages on to the entry it replaced.
    TWndMethod WindowProc;
    // Sends a message through WindowProc.
    void Perform(TMessage& message) {
        if (WindowProc)
            WindowProc(message);
    }

    const char* ClassName() const noexcept override { return "TControl"; }

protected:
    // The control's own handling of a message; does nothing here.
    virtual void WndProc(TMessage& message) { (void)message; }

private:
    int mLeft = 0;
    int mTop = 0;
};

class TCustomForm : public TControl {
public:
    explicit TCustomForm(TComponent* owner) : TControl(owner) {}
    // The native window handle, made first if there is none yet.
    virtual HWND Handle() = 0;
    const char* ClassName() const noexcept override { return "TCustomForm"; }
};

inline TControl::TControl(TComponent* owner) : TComponent(owner) {
    WindowProc = [this](TMessage& message) { WndProc(message); };
}

} // namespace k58
