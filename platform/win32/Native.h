// The Win32 parts behind the platform-neutral window and controls, for the
// Windows layer's own files.
//
// The form is a native top-level window; its controls have no windows of
// their own: the form paints them, in creation order, into an off-screen
// picture of its client area, then the instrument surfaces above them, and
// shows the result in one copy (so the screen only ever shows complete
// frames). The form also hands the mouse to the control under it.
#pragma once

#include "platform/Forms.h"
#include "platform/WidgetControl.h"

#include "platform/win32/Win32.h"

#include <memory>
#include <vector>

namespace k58 {

class TInstrumentSurfaces;

// A control without a window of its own, shown by its form.
struct TWidgetControl::TImpl {
    virtual ~TImpl() = default;

    // The form whose client area shows the control; nullptr when there is
    // none or it has gone.
    TForm* form = nullptr;
    // Position and size in client pixels.
    RECT bounds{};
    bool visible = true;
    bool enabled = true;

    // Draws the control into dc, whose origin is the client area's.
    virtual void Paint(HDC dc) { (void)dc; }
    // Whether the control takes mouse presses now.
    virtual bool TakesMouse() const { return false; }
    // A press on the control, then moves and the release while the mouse is
    // held (points in client pixels); CancelMouse when the press is lost.
    virtual void MouseDown(POINT point) { (void)point; }
    virtual void MouseMove(POINT point) { (void)point; }
    virtual void MouseUp(POINT point) { (void)point; }
    virtual void CancelMouse() {}
    // The form's font changed (for controls that use it).
    virtual void FormFontChanged() {}

    // Asks the form to paint the control's area again.
    void Invalidate() const;
};

// Something drawn above every control of a form (the instrument surfaces).
class TFormOverlay {
public:
    // Copies the overlay's drawn pixels into the client-area picture, within
    // the area: pixels is the picture's top row, stride its row length.
    virtual void Compose(std::uint32_t* pixels, int stride, int width, int height,
                         const RECT& area) = 0;

protected:
    ~TFormOverlay() = default;
};

struct TForm::TImpl {
    ::HWND window = nullptr;
    // The controls on the client area, in creation order.
    std::vector<TWidgetControl*> controls;
    TWidgetControl* mouseControl = nullptr;
    TFormOverlay* overlay = nullptr;

    // Settings kept for the native window, which is made on first need.
    int left = 0;
    int top = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;

    // The off-screen picture of the client area.
    HDC pictureDc = nullptr;
    HBITMAP picture = nullptr;
    HGDIOBJ oldPicture = nullptr;
    std::uint32_t* pictureBits = nullptr;
    int pictureWidth = 0;
    int pictureHeight = 0;
};

// The form's native window, made first if there is none.
::HWND FormWindow(TForm& form);

// Repaints part of the form's client area (client pixels).
void InvalidateFormArea(const TForm& form, const RECT& area);

// Adds and removes a control to or from the form's client area.
void AttachControl(TForm& form, TWidgetControl& control);
void DetachControl(TForm& form, TWidgetControl& control);

// The font of a window definition as a GDI font, made once and kept.
HFONT FontHandle(const TFontData& font);

} // namespace k58
