#include "platform/Cursor.h"

#include "platform/win32/Win32.h"

namespace k58 {

TPoint Mouse_CursorPos() {
    POINT point{};
    GetCursorPos(&point);
    return {point.x, point.y};
}

} // namespace k58
