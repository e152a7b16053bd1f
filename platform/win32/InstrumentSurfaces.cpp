#include "platform/InstrumentSurfaces.h"

#include "platform/Forms.h"

#include "platform/win32/Native.h"

#include <algorithm>

namespace k58 {

// The surfaces lie above every control of the form: the form's paint puts
// their drawn pixels over what it painted, the client-area canvas first,
// then the dial canvas at the paint box's place at that moment. Never-drawn
// pixels let the window and its controls show through.
struct TInstrumentSurfaces::TImpl final : TFormOverlay {
    TImpl(TForm& owner, std::function<TPoint()> topLeft)
        : form(owner), window(owner.ClientWidth(), owner.ClientHeight()),
          dial(DialSurfaceSize, DialSurfaceSize), paintBoxTopLeft(std::move(topLeft)),
          shownDialAt(paintBoxTopLeft()) {
        form.Native().overlay = this;
    }
    ~TImpl() {
        if (form.Native().overlay == this)
            form.Native().overlay = nullptr;
    }

    void Compose(std::uint32_t* pixels, int stride, int width, int height,
                 const RECT& area) override {
        ComposeCanvas(window, 0, 0, pixels, stride, width, height, area);
        const TPoint dialAt = paintBoxTopLeft();
        ComposeCanvas(dial, dialAt.X, dialAt.Y, pixels, stride, width, height, area);
        shownDialAt = dialAt;
    }

    // Copies the canvas's drawn pixels, placed at (left, top), into the
    // picture within the area.
    static void ComposeCanvas(const TMemoryCanvas& canvas, int left, int top, std::uint32_t* pixels,
                              int stride, int width, int height, const RECT& area) {
        const int x0 = std::max({0, static_cast<int>(area.left), left});
        const int x1 = std::min({width, static_cast<int>(area.right), left + canvas.Width()});
        const int y0 = std::max({0, static_cast<int>(area.top), top});
        const int y1 = std::min({height, static_cast<int>(area.bottom), top + canvas.Height()});
        for (int y = y0; y < y1; ++y) {
            const std::uint32_t* from =
                canvas.Bits() + static_cast<std::ptrdiff_t>(y - top) * canvas.Width() - left;
            std::uint32_t* to = pixels + static_cast<std::ptrdiff_t>(y) * stride;
            for (int x = x0; x < x1; ++x)
                if (from[x] != 0) // drawn pixels are opaque, never-drawn ones 0
                    to[x] = from[x] & 0x00FFFFFFu;
        }
    }

    TForm& form;
    TMemoryCanvas window;
    TMemoryCanvas dial;
    std::function<TPoint()> paintBoxTopLeft;
    TPoint shownDialAt;
};

TInstrumentSurfaces::TInstrumentSurfaces(TForm& form, std::function<TPoint()> paintBoxTopLeft)
    : mImpl(std::make_unique<TImpl>(form, std::move(paintBoxTopLeft))) {}

TInstrumentSurfaces::~TInstrumentSurfaces() = default;

TMemoryCanvas& TInstrumentSurfaces::WindowCanvas() noexcept {
    return mImpl->window;
}

TMemoryCanvas& TInstrumentSurfaces::DialCanvas() noexcept {
    return mImpl->dial;
}

void TInstrumentSurfaces::Present() {
    TImpl& impl = *mImpl;
    const auto repaint = [&](const TCanvasRect& r, int dx, int dy) {
        if (!r.Empty())
            InvalidateFormArea(impl.form,
                               RECT{r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy});
    };
    repaint(impl.window.TakeChangedRect(), 0, 0);
    const TPoint dialAt = impl.paintBoxTopLeft();
    repaint(impl.dial.TakeChangedRect(), dialAt.X, dialAt.Y);
    // A paint box that moved since the last paint leaves its old place to be
    // repainted too.
    if (!(dialAt == impl.shownDialAt)) {
        const TCanvasRect all{0, 0, impl.dial.Width(), impl.dial.Height()};
        repaint(all, dialAt.X, dialAt.Y);
        repaint(all, impl.shownDialAt.X, impl.shownDialAt.Y);
    }
}

} // namespace k58
