// A control shown by a native control of the platform's toolkit: its
// position, size, visibility and enabled state live on the native control.
// Placed on its owner form's client area when the owner is a form.
//
// Each platform defines TWidgetControl::TImpl (the native control) and
// implements these members in its own WidgetControl.cpp.
#pragma once

#include "platform/Controls.h"
#include "platform/Types.h"

#include <cstdint>
#include <memory>

namespace k58 {

class TWidgetControl : public TControl {
public:
    ~TWidgetControl() override;

    int Left() const override;
    int Top() const override;
    void SetLeft(int value) override;
    void SetTop(int value) override;
    int Width() const;
    int Height() const;
    virtual void SetWidth(int value);
    virtual void SetHeight(int value);
    void SetBounds(int left, int top, int width, int height);

    bool Visible() const noexcept { return mVisible; }
    void SetVisible(bool value);
    bool Enabled() const;
    virtual void SetEnabled(bool value);

    // The name is also the native control's name, so that tests and
    // screenshots can find the control.
    void SetName(std::string name);

    // Identifies the native parent the control is shown on (0 for none):
    // controls on the same parent compare equal.
    std::uintptr_t ParentIdentity() const;

    void Loaded() override;
    const char* ClassName() const noexcept override { return "TWidgetControl"; }

    // The native control; defined by the platform layer.
    struct TImpl;
    TImpl& Native() const noexcept { return *mImpl; }

protected:
    // Takes ownership of the native control. When owner is a form, the
    // control goes onto the form's client area.
    TWidgetControl(TComponent* owner, std::unique_ptr<TImpl> native);

private:
    std::unique_ptr<TImpl> mImpl;
    bool mVisible = true;
};

} // namespace k58
