// Where a top-level window stands when it is not minimised. A minimised
// window is parked out of sight (Windows puts it at -32000, -32000; Wine in a
// corner of the screen), so the form reports, reads the cursor against and
// moves its normal placement: the frame it shows at once restored. Minimising
// then changes nothing about how the cursor drives.
//
// The normal placement is in workspace coordinates: the screen's, shifted by
// the room the task bar takes at the top or left of the window's monitor.
#pragma once

#include "platform/win32/Win32.h"

namespace k58 {

// The outer frame in screen coordinates: the frame shown, or for a minimised
// window the normal placement's.
inline RECT NormalFrame(bool minimised, const RECT& shown, const WINDOWPLACEMENT& placement,
                        const MONITORINFO& monitor) {
    if (!minimised)
        return shown;
    RECT frame = placement.rcNormalPosition;
    OffsetRect(&frame, monitor.rcWork.left - monitor.rcMonitor.left,
               monitor.rcWork.top - monitor.rcMonitor.top);
    return frame;
}

// Moves the normal placement's frame to (left, top) in screen coordinates,
// keeping its size.
inline void MoveNormalFrame(WINDOWPLACEMENT& placement, const MONITORINFO& monitor, int left,
                            int top) {
    RECT& frame = placement.rcNormalPosition;
    OffsetRect(&frame, left - (monitor.rcWork.left - monitor.rcMonitor.left) - frame.left,
               top - (monitor.rcWork.top - monitor.rcMonitor.top) - frame.top);
}

} // namespace k58
