// The program's window: a fixed-size top-level window whose client area holds
// the controls. Positions of the window are those of its outer frame on the
// screen; the controls' positions are client-area coordinates.
//
// Each platform defines TForm::TImpl (the native window) and implements
// these members in its own Forms.cpp.
#pragma once

#include "platform/Controls.h"
#include "platform/Types.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace k58 {

class TForm : public TCustomForm {
public:
    explicit TForm(TComponent* owner);
    ~TForm() override;

    // Window title.
    const std::string& Caption() const noexcept { return mCaption; }
    void SetCaption(const std::string& caption);

    // Sets the client area's size and fixes the window at it: the user can
    // neither resize nor maximise it; minimising stays possible.
    void SetClientSize(int width, int height);
    int ClientWidth() const;
    int ClientHeight() const;

    // The outer frame's position on the screen.
    int Left() const override;
    int Top() const override;
    void SetLeft(int value) override;
    void SetTop(int value) override;
    // Outer size, frame included (as far as the window system reports a frame).
    int Width() const;
    int Height() const;

    TPoint ScreenToClient(TPoint point) const;
    TPoint ClientToScreen(TPoint point) const;

    // The font the controls inherit unless they set their own.
    const TFontData& Font() const noexcept { return mFont; }
    void SetFont(const TFontData& font);
    // The window's icon from an .ico file (every image in it), or from the
    // PNG copy where the .ico yields nothing.
    void SetIcon(std::span<const std::uint8_t> icoFile, std::span<const std::uint8_t> pngFile);

    void Show();
    // Closes the window as the user would; OnClose is raised.
    void Close();
    bool Visible() const;

    // The native window, made first if there is none yet. Each time it is
    // made or re-made, WM_CREATE goes through WindowProc.
    HWND Handle() override;
    bool HandleAllocated() const;
    // Destroys the native window and makes a new one (shown again if it was).
    void RecreateWnd();

    // The name is also the native window's name.
    void SetName(std::string name);

    // Raised when the window is closed, by the user or by Close().
    TNotifyEvent OnClose;

    void Loaded() override;
    const char* ClassName() const noexcept override { return "TForm"; }

    // The native window; defined by the platform layer.
    struct TImpl;
    TImpl& Native() const noexcept { return *mImpl; }

    // Called by the native window.
    void WindowClosed();
    void NativeWindowCreated();

private:
    std::unique_ptr<TImpl> mImpl;
    std::string mCaption;
    TFontData mFont{"MS Sans Serif", 11, false};
};

} // namespace k58
