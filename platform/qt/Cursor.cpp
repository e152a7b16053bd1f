#include "platform/Cursor.h"

#include "platform/qt/X11Pointer.h"

#include <QCursor>

namespace k58 {

TPoint Mouse_CursorPos() {
    // On an X11 display the position is known without a round trip to the
    // server; elsewhere the toolkit is asked.
    if (TX11Pointer* pointer = TX11Pointer::Instance()) {
        const QPoint pos = pointer->Position();
        return {pos.x(), pos.y()};
    }
    const QPoint pos = QCursor::pos();
    return {pos.x(), pos.y()};
}

} // namespace k58
