#include "platform/ExtCtrls.h"

#include "platform/win32/Native.h"

namespace k58 {

// Neither paints anything of its own: what lies beneath shows until someone
// draws on the paint box's area.
TPaintBox::TPaintBox(TComponent* owner)
    : TWidgetControl(owner, std::make_unique<TWidgetControl::TImpl>()) {}

TImage::TImage(TComponent* owner)
    : TWidgetControl(owner, std::make_unique<TWidgetControl::TImpl>()) {}

} // namespace k58
