// The two drawing surfaces of the instrument panel, shown on the window.
//
// The panel draws into in-memory canvases: one as large as the form's client
// area, one for the paint box of the dial. The platform shows them above the
// window's controls: the client-area canvas first, then the dial canvas at
// the paint box's position at the moment of showing, so the dial follows the
// paint box when it moves. Pixels never drawn let the window and its controls
// show through. The screen only ever shows complete frames.
#pragma once

#include "panel/MemoryCanvas.h"
#include "platform/Types.h"

#include <functional>
#include <memory>

namespace k58 {

class TForm;

class TInstrumentSurfaces {
public:
    // Size of the paint box that holds the dial, in client pixels.
    static constexpr int DialSurfaceSize = 105;

    // form: the window whose client area the surfaces cover. paintBoxTopLeft:
    // the dial paint box's current top-left corner in client coordinates.
    TInstrumentSurfaces(TForm& form, std::function<TPoint()> paintBoxTopLeft);
    ~TInstrumentSurfaces();
    TInstrumentSurfaces(const TInstrumentSurfaces&) = delete;
    TInstrumentSurfaces& operator=(const TInstrumentSurfaces&) = delete;

    // The client area, origin at its top-left corner.
    TMemoryCanvas& WindowCanvas() noexcept;
    // The paint box, origin at its top-left corner.
    TMemoryCanvas& DialCanvas() noexcept;

    // Shows what changed since the last call; call it after each drawing
    // pass.
    void Present();

    // The platform's surfaces; defined by the platform layer.
    struct TImpl;
    TImpl& Native() const noexcept { return *mImpl; }

private:
    std::unique_ptr<TImpl> mImpl;
};

} // namespace k58
