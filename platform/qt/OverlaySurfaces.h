// The two drawing surfaces of the instrument panel, shown on a Qt window.
//
// The panel draws into in-memory canvases: one as large as the form's client
// area, one for the paint box of the dial. A transparent overlay widget on
// top of every control of the client area shows them: the client-area
// canvas first, then the dial canvas at the paint box's position at the
// moment of painting, so the dial follows the paint box when it moves.
// Pixels never drawn let the window and its controls show through. Painting
// happens from the event loop, never in the middle of a drawing call, so the
// screen only ever shows complete frames.
#pragma once

#include "panel/MemoryCanvas.h"

#include <QPoint>
#include <QPointer>

#include <functional>
#include <memory>

class QWidget;

namespace k58 {

class TOverlaySurfaces {
public:
    // Size of the paint box that holds the dial, in client pixels.
    static constexpr int DialSurfaceSize = 105;

    // client: the form's client-area widget; the overlay becomes its child
    // and follows its size. paintBoxTopLeft: the dial paint box's current
    // top-left corner in client coordinates.
    TOverlaySurfaces(QWidget* client, std::function<QPoint()> paintBoxTopLeft);
    ~TOverlaySurfaces();
    TOverlaySurfaces(const TOverlaySurfaces&) = delete;
    TOverlaySurfaces& operator=(const TOverlaySurfaces&) = delete;

    // The client area, origin at its top-left corner.
    TMemoryCanvas& windowCanvas() noexcept { return mWindow; }
    // The paint box, origin at its top-left corner.
    TMemoryCanvas& dialCanvas() noexcept { return mDial; }

    // Schedules a repaint of what changed since the last call; call it after
    // each drawing pass. Also keeps the overlay above controls created
    // after it.
    void present();

    // The overlay widget (for tests); nullptr once the client area has gone.
    QWidget* overlay() const noexcept;

private:
    class Overlay;
    friend class Overlay;

    TMemoryCanvas mWindow;
    TMemoryCanvas mDial;
    std::function<QPoint()> mPaintBoxTopLeft;
    QPoint mShownDialAt;
    QPointer<Overlay> mOverlay;
};

} // namespace k58
