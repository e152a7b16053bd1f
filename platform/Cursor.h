// The screen cursor as the simulation reads it.
#pragma once

#include "platform/Types.h"

namespace k58 {

// The cursor position in screen coordinates, wherever the cursor is and
// whether or not the program's window is active.
TPoint Mouse_CursorPos();

} // namespace k58
