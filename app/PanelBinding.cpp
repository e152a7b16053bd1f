#include "app/PanelBinding.h"

#include "app/Motor_F.h"
#include "panel/Bitmap.h"
#include "panel/Instruments.h"
#include "platform/qt/InstrumentSurfaces.h"

#include <QPoint>

namespace k58 {

struct TInstrumentPanel::TImpl {
    explicit TImpl(TMotorForm& f)
        : form(f), surfaces(f.ClientWidget(),
                            [&f] { return QPoint(f.PaintBox1->Left(), f.PaintBox1->Top()); }) {
        face = LoadPictureData(f.Image1->PictureData());
    }

    TMotorForm& form;
    TInstrumentSurfaces surfaces;
    TBitmap face;
};

TInstrumentPanel::TInstrumentPanel(TMotorForm& form) : mImpl(std::make_unique<TImpl>(form)) {}
TInstrumentPanel::~TInstrumentPanel() = default;

void TInstrumentPanel::Draw() {
    TMotorForm& form = mImpl->form;
    // The cursor is read at drawing time, not taken from the tick.
    DrawInstruments(mImpl->surfaces.windowCanvas(), mImpl->surfaces.dialCanvas(), mImpl->face,
                    form.DriveState().RoadSpeed, form.Width(),
                    [&form] { return form.DriveHost().CursorClientX(); });
    mImpl->surfaces.present();
}

void TMotorForm::DrawPanel() {
    mPanel->Draw();
}

} // namespace k58
