#include "platform/InstrumentSurfaces.h"

#include "platform/Forms.h"
#include "platform/qt/Native.h"
#include "platform/qt/OverlaySurfaces.h"

namespace k58 {

struct TInstrumentSurfaces::TImpl {
    TImpl(QWidget* client, std::function<TPoint()> paintBoxTopLeft)
        : overlay(client, [topLeft = std::move(paintBoxTopLeft)] {
              const TPoint at = topLeft();
              return QPoint(at.X, at.Y);
          }) {}
    TOverlaySurfaces overlay;
};

TInstrumentSurfaces::TInstrumentSurfaces(TForm& form, std::function<TPoint()> paintBoxTopLeft)
    : mImpl(std::make_unique<TImpl>(ClientWidget(form), std::move(paintBoxTopLeft))) {}

TInstrumentSurfaces::~TInstrumentSurfaces() = default;

TMemoryCanvas& TInstrumentSurfaces::WindowCanvas() noexcept {
    return mImpl->overlay.windowCanvas();
}

TMemoryCanvas& TInstrumentSurfaces::DialCanvas() noexcept {
    return mImpl->overlay.dialCanvas();
}

void TInstrumentSurfaces::Present() {
    mImpl->overlay.present();
}

QWidget* OverlayWidget(const TInstrumentSurfaces& surfaces) {
    return surfaces.Native().overlay.overlay();
}

} // namespace k58
