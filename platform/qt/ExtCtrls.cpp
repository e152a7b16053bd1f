#include "platform/ExtCtrls.h"

#include "platform/qt/Native.h"

namespace k58 {

TPaintBox::TPaintBox(TComponent* owner) : TWidgetControl(owner, NativeFor(new QWidget)) {
    // No background and no painting of its own: what lies beneath shows
    // until someone draws on it.
    NativeWidget(*this)->setAutoFillBackground(false);
    NativeWidget(*this)->setAttribute(Qt::WA_NoSystemBackground);
}

TImage::TImage(TComponent* owner) : TWidgetControl(owner, NativeFor(new QWidget)) {}

} // namespace k58
