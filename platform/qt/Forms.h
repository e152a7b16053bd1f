// The program's window: a fixed-size top-level window whose client area holds
// the controls. Positions of the window are those of its outer frame on the
// screen; the controls' positions are client-area coordinates.
#pragma once

#include "platform/Controls.h"
#include "platform/qt/Types.h"

#include <QIcon>
#include <QPointer>
#include <QWidget>

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
    void SetIcon(const QIcon& icon);

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

    // The name is also the window's object name.
    void SetName(std::string name);

    // The widget whose area is the client area: controls and drawing
    // overlays are parented to it.
    QWidget* ClientWidget() const noexcept { return mWindow.data(); }

    // Raised when the window is closed, by the user or by Close().
    TNotifyEvent OnClose;

    void Loaded() override;
    const char* ClassName() const noexcept override { return "TForm"; }

private:
    friend class FormWindow;
    void WindowClosed();
    void NativeWindowCreated();

    QPointer<QWidget> mWindow;
    std::string mCaption;
    TFontData mFont{"MS Sans Serif", 11, false};
};

} // namespace k58
