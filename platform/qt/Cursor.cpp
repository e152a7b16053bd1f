#include "platform/Cursor.h"

#include <QCursor>

namespace k58 {

TPoint Mouse_CursorPos() {
    const QPoint pos = QCursor::pos();
    return {pos.x(), pos.y()};
}

} // namespace k58
