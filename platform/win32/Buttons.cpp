#include "platform/Buttons.h"

#include "platform/win32/Native.h"

#include <uxtheme.h>
#include <vssym32.h>

namespace k58 {
namespace {

// Shows a speed button: raised when up, sunken while the mouse holds it
// inside or while it is the down button of its group, greyed when disabled;
// drawn in the system's visual style where one is active. Tracks the mouse
// from press to release: a release outside cancels the click.
struct TSpeedButtonImpl final : TWidgetControl::TImpl {
    explicit TSpeedButtonImpl(TSpeedButton& owner) : button(owner) {}

    bool Sunken() const { return button.Down() || (tracking && inside); }

    void Paint(HDC dc) override {
        RECT area = bounds;
        const std::wstring caption = Utf16(button.Caption());
        HTHEME theme = form != nullptr ? OpenThemeData(FormWindow(*form), L"BUTTON") : nullptr;
        if (theme != nullptr) {
            // A down button looks pressed even while disabled (the caption
            // below is greyed): the disabled state alone would draw it up.
            const int state = Sunken() ? PBS_PRESSED : !enabled ? PBS_DISABLED : PBS_NORMAL;
            DrawThemeBackground(theme, dc, BP_PUSHBUTTON, state, &area, nullptr);
            CloseThemeData(theme);
        } else {
            UINT state = DFCS_BUTTONPUSH | (Sunken() ? DFCS_PUSHED : 0) |
                         (button.Down() ? DFCS_CHECKED : 0) | (enabled ? 0 : DFCS_INACTIVE);
            DrawFrameControl(dc, &area, DFC_BUTTON, state);
        }
        if (Sunken())
            OffsetRect(&area, 1, 1);
        const HGDIOBJ old = SelectObject(dc, FontHandle(button.Font()));
        SetBkMode(dc, TRANSPARENT);
        const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
        if (!enabled) {
            // Greyed as the system greys text: a light copy under a grey one.
            RECT shadow = area;
            OffsetRect(&shadow, 1, 1);
            SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
            DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &shadow, format);
            SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        } else {
            SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        }
        DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &area, format);
        SelectObject(dc, old);
    }

    bool TakesMouse() const override { return enabled; }

    void MouseDown(POINT) override {
        tracking = true;
        inside = true;
        Invalidate();
    }

    void MouseMove(POINT point) override {
        const bool now = PtInRect(&bounds, point) != FALSE;
        if (tracking && now != inside) {
            inside = now;
            Invalidate();
        }
    }

    void MouseUp(POINT point) override {
        if (!tracking)
            return;
        tracking = false;
        inside = PtInRect(&bounds, point) != FALSE;
        Invalidate();
        if (inside)
            button.MouseClicked();
    }

    void CancelMouse() override {
        if (!tracking)
            return;
        tracking = false;
        Invalidate();
    }

    TSpeedButton& button;
    bool tracking = false;
    bool inside = false;
};

} // namespace

TSpeedButton::TSpeedButton(TComponent* owner)
    : TWidgetControl(owner, std::make_unique<TSpeedButtonImpl>(*this)) {}

void TSpeedButton::ShowCaption() {
    Native().Invalidate();
}

void TSpeedButton::ShowFont() {
    Native().Invalidate();
}

void TSpeedButton::ShowDown() {
    Native().Invalidate();
}

} // namespace k58
