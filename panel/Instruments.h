// The instrument panel: throttle bar, speed bar and needle speedometer,
// redrawn from scratch over what the previous call left on every tick.
#pragma once

#include "panel/Bitmap.h"
#include "panel/Canvas.h"

#include <functional>

namespace k58 {

// Where the needle of the speedometer ends for a road speed: the angle
// is held as a 32-bit float, the end point rounded half to even. The needle
// starts at (50, 50) of the dial.
TCanvasPoint NeedleEnd(int roadSpeed);

// Draws the panel.
//   window: the main window's client area; its pen is left white, which is
//           what later calls draw their borders with.
//   dial: PaintBox1's area; the dial face is copied to its top-left corner.
//   width: the main window's outer width, frame included.
//   cursorClientX: reads the cursor's x in client coordinates, once, when the
//           drawing starts.
void DrawInstruments(TCanvas& window, TCanvas& dial, const TBitmap& dialFace, int roadSpeed,
                     int width, const std::function<int()>& cursorClientX);

} // namespace k58
