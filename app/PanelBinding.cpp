#include "app/PanelBinding.h"

#include "app/Motor_F.h"

namespace k58 {

struct TInstrumentPanel::TImpl {
    explicit TImpl(TMotorForm& f) : form(f) {}
    TMotorForm& form;
};

TInstrumentPanel::TInstrumentPanel(TMotorForm& form) : mImpl(std::make_unique<TImpl>(form)) {}
TInstrumentPanel::~TInstrumentPanel() = default;
void TInstrumentPanel::Draw() {}

void TMotorForm::DrawPanel() { mPanel->Draw(); }

} // namespace k58
