#include "platform/Forms.h"

#include "platform/Application.h"

#include "platform/win32/Native.h"
#include "platform/win32/Placement.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace k58 {
namespace {

// A fixed frame: caption, system menu and minimise box; no sizing border,
// no maximise box.
constexpr DWORD FormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD FormExStyle = 0;

TForm* FormOf(::HWND window) {
    return reinterpret_cast<TForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

RECT OuterRect(int clientWidth, int clientHeight) {
    RECT rect{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&rect, FormStyle, FALSE, FormExStyle);
    return rect;
}

// The outer frame in screen coordinates at the window's normal place, which
// a minimised window keeps.
RECT FrameRect(::HWND window) {
    RECT shown{};
    GetWindowRect(window, &shown);
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    const bool minimised =
        IsIconic(window) && GetWindowPlacement(window, &placement) &&
        GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    return NormalFrame(minimised, shown, placement, monitor);
}

// Moves the window's frame to (left, top) in screen coordinates; a minimised
// window's normal place, where it shows once restored.
void MoveFrame(::HWND window, int left, int top) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (IsIconic(window) && GetWindowPlacement(window, &placement) &&
        GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
        MoveNormalFrame(placement, monitor, left, top);
        // Stays minimised, and leaves the active window as it is.
        placement.showCmd = SW_SHOWMINNOACTIVE;
        SetWindowPlacement(window, &placement);
        return;
    }
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The client area's top left corner in screen coordinates, at the window's
// normal place.
POINT ClientOrigin(::HWND window) {
    POINT origin{0, 0};
    if (!IsIconic(window)) {
        ::ClientToScreen(window, &origin);
        return origin;
    }
    const RECT frame = FrameRect(window);
    const RECT inset = OuterRect(0, 0);
    return {frame.left - inset.left, frame.top - inset.top};
}

// One icon of an .ico file at the given size: the image with the most
// colours. The file's fields are checked before they are trusted.
HICON IconFromFile(std::span<const std::uint8_t> file, int size) {
    const auto u16 = [&](std::size_t at) {
        return static_cast<unsigned>(file[at] | (file[at + 1] << 8));
    };
    const auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(u16(at)) |
               (static_cast<std::uint32_t>(u16(at + 2)) << 16);
    };
    constexpr std::size_t HeaderSize = 6;
    constexpr std::size_t EntrySize = 16;
    if (file.size() < HeaderSize || u16(0) != 0 || u16(2) != 1)
        return nullptr;
    const std::size_t count = u16(4);
    if (file.size() < HeaderSize + count * EntrySize)
        return nullptr;
    std::size_t best = count;
    unsigned bestBits = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = HeaderSize + i * EntrySize;
        const std::uint32_t bytes = u32(entry + 8);
        const std::uint32_t offset = u32(entry + 12);
        if (offset > file.size() || bytes > file.size() - offset || bytes == 0)
            continue;
        const unsigned bits = u16(entry + 6);
        if (best == count || bits > bestBits) {
            best = i;
            bestBits = bits;
        }
    }
    if (best == count)
        return nullptr;
    const std::size_t entry = HeaderSize + best * EntrySize;
    // The image bytes are not changed, but the call takes a plain pointer.
    auto* image = const_cast<std::uint8_t*>(file.data() + u32(entry + 12));
    return CreateIconFromResourceEx(image, u32(entry + 8), TRUE, 0x00030000, size, size,
                                    LR_DEFAULTCOLOR);
}

void ReleasePicture(TForm::TImpl& impl) {
    if (impl.pictureDc == nullptr)
        return;
    SelectObject(impl.pictureDc, impl.oldPicture);
    DeleteObject(impl.picture);
    DeleteDC(impl.pictureDc);
    impl.pictureDc = nullptr;
    impl.picture = nullptr;
    impl.pictureBits = nullptr;
    impl.pictureWidth = impl.pictureHeight = 0;
}

// The off-screen picture of the client area, 32 bits per pixel, top row
// first; remade when the client area's size changes.
bool EnsurePicture(TForm::TImpl& impl, int width, int height) {
    if (impl.pictureDc != nullptr && impl.pictureWidth == width && impl.pictureHeight == height)
        return true;
    ReleasePicture(impl);
    if (width <= 0 || height <= 0)
        return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (picture == nullptr)
        return false;
    impl.pictureDc = CreateCompatibleDC(nullptr);
    impl.picture = picture;
    impl.oldPicture = SelectObject(impl.pictureDc, picture);
    impl.pictureBits = static_cast<std::uint32_t*>(bits);
    impl.pictureWidth = width;
    impl.pictureHeight = height;
    return true;
}

// Paints the part of the client area that needs it: background, the
// controls in creation order, the overlay; then shows it in one copy.
void Paint(TForm& form, ::HWND window) {
    TForm::TImpl& impl = form.Native();
    PAINTSTRUCT paint;
    HDC screen = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    RECT area;
    if (IntersectRect(&area, &paint.rcPaint, &client) &&
        EnsurePicture(impl, client.right, client.bottom)) {
        HDC dc = impl.pictureDc;
        FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
        for (TWidgetControl* control : impl.controls) {
            TWidgetControl::TImpl& native = control->Native();
            RECT overlap;
            if (!native.visible || !IntersectRect(&overlap, &native.bounds, &area))
                continue;
            const int saved = SaveDC(dc);
            IntersectClipRect(dc, overlap.left, overlap.top, overlap.right, overlap.bottom);
            native.Paint(dc);
            RestoreDC(dc, saved);
        }
        GdiFlush();
        if (impl.overlay != nullptr)
            impl.overlay->Compose(impl.pictureBits, impl.pictureWidth, impl.pictureWidth,
                                  impl.pictureHeight, area);
        BitBlt(screen, area.left, area.top, area.right - area.left, area.bottom - area.top, dc,
               area.left, area.top, SRCCOPY);
    }
    EndPaint(window, &paint);
}

POINT PointOf(LPARAM lParam) {
    return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

LRESULT CALLBACK FormProcedure(::HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    TForm* form = FormOf(window);
    if (form == nullptr)
        return DefWindowProcW(window, msg, wParam, lParam);
    TForm::TImpl& impl = form->Native();
    switch (msg) {
    case WM_ERASEBKGND:
        return 1; // the paint covers the whole area it repaints
    case WM_PAINT:
        Paint(*form, window);
        return 0;
    case WM_LBUTTONDOWN: {
        const POINT point = PointOf(lParam);
        // The topmost control under the mouse, the last created.
        for (auto it = impl.controls.rbegin(); it != impl.controls.rend(); ++it) {
            TWidgetControl::TImpl& native = (*it)->Native();
            if (!native.visible || !PtInRect(&native.bounds, point))
                continue;
            if (native.TakesMouse()) {
                impl.mouseControl = *it;
                SetCapture(window);
                native.MouseDown(point);
            }
            break;
        }
        return 0;
    }
    case WM_MOUSEMOVE:
        if (impl.mouseControl != nullptr)
            impl.mouseControl->Native().MouseMove(PointOf(lParam));
        return 0;
    case WM_LBUTTONUP:
        if (TWidgetControl* control = impl.mouseControl) {
            impl.mouseControl = nullptr;
            ReleaseCapture();
            // The click's handler may pump messages or free the form: the
            // form is not touched after it.
            control->Native().MouseUp(PointOf(lParam));
        }
        return 0;
    case WM_CAPTURECHANGED:
        if (TWidgetControl* control = impl.mouseControl) {
            impl.mouseControl = nullptr;
            control->Native().CancelMouse();
        }
        return 0;
    case WM_ACTIVATEAPP:
        if (Application != nullptr)
            Application->SetActive(wParam != FALSE);
        break;
    case WM_CLOSE:
        // Closing hides the window; the form (which may be freed by its
        // handler) destroys it.
        form->WindowClosed();
        if (IsWindow(window) && FormOf(window) != nullptr)
            ShowWindow(window, SW_HIDE);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return DefWindowProcW(window, msg, wParam, lParam);
}

void CreateFormWindow(TForm& form) {
    TForm::TImpl& impl = form.Native();
    const RECT outer = OuterRect(impl.clientWidth, impl.clientHeight);
    const wchar_t* windowClass = WindowClass(Utf16(form.ClassName()), &FormProcedure,
                                             reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    impl.window =
        CreateWindowExW(FormExStyle, windowClass, Utf16(form.Caption()).c_str(), FormStyle,
                        impl.left, impl.top, outer.right - outer.left, outer.bottom - outer.top,
                        nullptr, nullptr, ProgramInstance(), &form);
    if (impl.window == nullptr)
        return;
    if (impl.bigIcon != nullptr)
        SendMessageW(impl.window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(impl.bigIcon));
    if (impl.smallIcon != nullptr)
        SendMessageW(impl.window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(impl.smallIcon));
    form.NativeWindowCreated();
}

void DestroyFormWindow(TForm::TImpl& impl) {
    if (impl.window == nullptr)
        return;
    ::HWND window = impl.window;
    impl.window = nullptr;
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
}

} // namespace

::HWND FormWindow(TForm& form) {
    if (form.Native().window == nullptr)
        CreateFormWindow(form);
    return form.Native().window;
}

void InvalidateFormArea(const TForm& form, const RECT& area) {
    if (::HWND window = form.Native().window)
        InvalidateRect(window, &area, FALSE);
}

void AttachControl(TForm& form, TWidgetControl& control) {
    control.Native().form = &form;
    form.Native().controls.push_back(&control);
    control.Native().Invalidate();
}

void DetachControl(TForm& form, TWidgetControl& control) {
    TForm::TImpl& impl = form.Native();
    control.Native().Invalidate();
    std::erase(impl.controls, &control);
    if (impl.mouseControl == &control) {
        impl.mouseControl = nullptr;
        if (impl.window != nullptr && GetCapture() == impl.window)
            ReleaseCapture();
    }
    control.Native().form = nullptr;
}

TForm::TForm(TComponent* owner) : TCustomForm(owner), mImpl(std::make_unique<TImpl>()) {}

TForm::~TForm() {
    // The controls outlive the form's own parts (they are freed with the
    // component); they are told the form has gone.
    for (TWidgetControl* control : mImpl->controls)
        control->Native().form = nullptr;
    mImpl->controls.clear();
    mImpl->mouseControl = nullptr;
    DestroyFormWindow(*mImpl);
    ReleasePicture(*mImpl);
    if (mImpl->bigIcon != nullptr)
        DestroyIcon(mImpl->bigIcon);
    if (mImpl->smallIcon != nullptr)
        DestroyIcon(mImpl->smallIcon);
}

void TForm::SetCaption(const std::string& caption) {
    mCaption = caption;
    if (mImpl->window != nullptr)
        SetWindowTextW(mImpl->window, Utf16(caption).c_str());
}

void TForm::SetClientSize(int width, int height) {
    mImpl->clientWidth = width;
    mImpl->clientHeight = height;
    if (mImpl->window != nullptr) {
        const RECT outer = OuterRect(width, height);
        SetWindowPos(mImpl->window, nullptr, 0, 0, outer.right - outer.left,
                     outer.bottom - outer.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

int TForm::ClientWidth() const {
    // A minimised window has no client area; its normal one is the size set.
    RECT client;
    if (mImpl->window != nullptr && !IsIconic(mImpl->window) &&
        GetClientRect(mImpl->window, &client))
        return client.right;
    return mImpl->clientWidth;
}

int TForm::ClientHeight() const {
    // A minimised window has no client area; its normal one is the size set.
    RECT client;
    if (mImpl->window != nullptr && !IsIconic(mImpl->window) &&
        GetClientRect(mImpl->window, &client))
        return client.bottom;
    return mImpl->clientHeight;
}

// Positions and sizes are those of the normal place: a minimised window
// reports, reads the cursor against and moves where it shows once restored.
int TForm::Left() const {
    if (mImpl->window != nullptr)
        return FrameRect(mImpl->window).left;
    return mImpl->left;
}

int TForm::Top() const {
    if (mImpl->window != nullptr)
        return FrameRect(mImpl->window).top;
    return mImpl->top;
}

void TForm::SetLeft(int value) {
    TCustomForm::SetLeft(value);
    mImpl->left = value;
    if (mImpl->window != nullptr)
        MoveFrame(mImpl->window, value, Top());
}

void TForm::SetTop(int value) {
    TCustomForm::SetTop(value);
    mImpl->top = value;
    if (mImpl->window != nullptr)
        MoveFrame(mImpl->window, Left(), value);
}

int TForm::Width() const {
    RECT outer = mImpl->window != nullptr ? FrameRect(mImpl->window)
                                          : OuterRect(mImpl->clientWidth, mImpl->clientHeight);
    return outer.right - outer.left;
}

int TForm::Height() const {
    RECT outer = mImpl->window != nullptr ? FrameRect(mImpl->window)
                                          : OuterRect(mImpl->clientWidth, mImpl->clientHeight);
    return outer.bottom - outer.top;
}

TPoint TForm::ScreenToClient(TPoint point) const {
    if (mImpl->window == nullptr)
        return {point.X - mImpl->left, point.Y - mImpl->top};
    const POINT origin = ClientOrigin(mImpl->window);
    return {point.X - origin.x, point.Y - origin.y};
}

TPoint TForm::ClientToScreen(TPoint point) const {
    if (mImpl->window == nullptr)
        return {point.X + mImpl->left, point.Y + mImpl->top};
    const POINT origin = ClientOrigin(mImpl->window);
    return {point.X + origin.x, point.Y + origin.y};
}

void TForm::SetFont(const TFontData& font) {
    mFont = font;
    for (TWidgetControl* control : mImpl->controls)
        control->Native().FormFontChanged();
    if (mImpl->window != nullptr)
        InvalidateRect(mImpl->window, nullptr, FALSE);
}

void TForm::SetIcon(std::span<const std::uint8_t> icoFile, std::span<const std::uint8_t> pngFile) {
    (void)pngFile; // the system reads the .ico's images itself
    if (mImpl->bigIcon != nullptr)
        DestroyIcon(mImpl->bigIcon);
    if (mImpl->smallIcon != nullptr)
        DestroyIcon(mImpl->smallIcon);
    mImpl->bigIcon = IconFromFile(icoFile, GetSystemMetrics(SM_CXICON));
    mImpl->smallIcon = IconFromFile(icoFile, GetSystemMetrics(SM_CXSMICON));
    if (mImpl->window != nullptr) {
        SendMessageW(mImpl->window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(mImpl->bigIcon));
        SendMessageW(mImpl->window, WM_SETICON, ICON_SMALL,
                     reinterpret_cast<LPARAM>(mImpl->smallIcon));
    }
}

void TForm::Show() {
    if (::HWND window = FormWindow(*this)) {
        ShowWindow(window, SW_SHOWNORMAL);
        UpdateWindow(window);
    }
}

void TForm::Close() {
    if (mImpl->window != nullptr)
        SendMessageW(mImpl->window, WM_CLOSE, 0, 0);
}

bool TForm::Visible() const {
    return mImpl->window != nullptr && IsWindowVisible(mImpl->window);
}

HWND TForm::Handle() {
    return FormWindow(*this);
}

bool TForm::HandleAllocated() const {
    return mImpl->window != nullptr;
}

void TForm::RecreateWnd() {
    if (mImpl->window == nullptr)
        return;
    const bool visible = IsWindowVisible(mImpl->window);
    mImpl->left = Left();
    mImpl->top = Top();
    DestroyFormWindow(*mImpl);
    CreateFormWindow(*this);
    if (visible && mImpl->window != nullptr)
        ShowWindow(mImpl->window, SW_SHOWNORMAL);
}

void TForm::SetName(std::string name) {
    TComponent::SetName(std::move(name));
}

void TForm::Loaded() {
    TCustomForm::Loaded();
}

} // namespace k58
