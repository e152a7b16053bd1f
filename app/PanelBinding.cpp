#include "app/PanelBinding.h"

#include "app/Motor_F.h"
#include "panel/Instruments.h"
#include "platform/InstrumentSurfaces.h"

namespace k58 {

struct TInstrumentPanel::TImpl {
    explicit TImpl(TMotorForm& f)
        : form(f), surfaces(f, [&f] {
              return TPoint{f.PaintBox1->Left(), f.PaintBox1->Top()};
          }) {}

    TMotorForm& form;
    TInstrumentSurfaces surfaces;
};

TInstrumentPanel::TInstrumentPanel(TMotorForm& form) : mImpl(std::make_unique<TImpl>(form)) {}
TInstrumentPanel::~TInstrumentPanel() = default;

void TInstrumentPanel::Draw() {
    TMotorForm& form = mImpl->form;
    // Each pass starts from empty surfaces, so the window shows the last
    // pass only: nothing an earlier pass drew outside it (the centre line at
    // an earlier Width, say) lingers on screen.
    mImpl->surfaces.WindowCanvas().Clear();
    mImpl->surfaces.DialCanvas().Clear();
    // The dial face is the picture Image1 holds; the cursor is read at
    // drawing time, not taken from the tick.
    DrawInstruments(mImpl->surfaces.WindowCanvas(), mImpl->surfaces.DialCanvas(),
                    form.Image1->Picture(), form.DriveState().RoadSpeed, form.Width(),
                    [&form] { return form.DriveHost().CursorClientX(); });
    mImpl->surfaces.Present();
}

void TMotorForm::DrawPanel() {
    mPanel->Draw();
}

} // namespace k58
