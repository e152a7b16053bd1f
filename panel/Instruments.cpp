#include "panel/Instruments.h"

#include "sim/Rounding.h"

#include <algorithm>
#include <cmath>

namespace k58 {

namespace {

// Bars across the top of the client area, as rows [top, bottom).
constexpr int ThrottleBarTop = 3;
constexpr int ThrottleBarBottom = 13;
constexpr int SpeedBarTop = 14;
constexpr int SpeedBarBottom = 24;
// Markers are 4 columns wide, centred between columns c - 1 and c.
constexpr int MarkerHalfWidth = 2;
constexpr int CursorMarkerTop = 5;
constexpr int CursorMarkerBottom = 11;
constexpr int SpeedMarkerTop = 16;
constexpr int SpeedMarkerBottom = 22;
// One pixel of the speed bar per 5 units of road speed.
constexpr int RoadSpeedPerColumn = 5;
constexpr int CentreLineTop = 0;
constexpr int CentreLineBottom = 24;

constexpr int CursorReach = 1 << 27;

constexpr int NeedleHubX = 50;
constexpr int NeedleHubY = 50;
constexpr double NeedleLength = 45.0;
constexpr int NeedleWidth = 3;
// The needle turns 1.05 rad per 600 units of road speed from 5 pi / 6,
// which points at the lower left.
constexpr double NeedleRoadSpeedPerStep = 600.0;
constexpr double NeedleRadiansPerStep = 1.05;
constexpr double NeedleRestAngle = 2.6179938779914944;

} // namespace

TCanvasPoint NeedleEnd(int roadSpeed) {
    // The angle goes through a 32-bit float on purpose: at road speed 0 that
    // puts the end point on row 73 where the exact angle would give 72.
    const float angle = static_cast<float>(
        roadSpeed / NeedleRoadSpeedPerStep * NeedleRadiansPerStep + NeedleRestAngle);
    return {RoundHalfEven(std::cos(static_cast<double>(angle)) * NeedleLength + NeedleHubX),
            RoundHalfEven(std::sin(static_cast<double>(angle)) * NeedleLength + NeedleHubY)};
}

void DrawInstruments(TCanvas& window, TCanvas& dial, const TBitmap& dialFace, int roadSpeed,
                     int width, const std::function<int()>& cursorClientX) {
    // The cursor is not limited to the client area; holding it to a range
    // far beyond any surface keeps the marker arithmetic from overflowing and
    // changes nothing visible.
    const int x = std::clamp(cursorClientX(), -CursorReach, CursorReach);
    // Width counts the frame, so mid lies one side-frame width right of the
    // client area's middle.
    const int mid = width / 2;
    const int s = roadSpeed / RoadSpeedPerColumn;

    // The window's pen is never reset here: black on the very first call,
    // white (from the centre line) on every later one.
    window.Brush.Color = clBlack;
    window.Rectangle(0, ThrottleBarTop, width, ThrottleBarBottom);
    window.Brush.Color = x > mid ? clGreen : clRed;
    window.Rectangle(x - MarkerHalfWidth, CursorMarkerTop, x + MarkerHalfWidth, CursorMarkerBottom);
    window.Brush.Color = clBlack;
    window.Rectangle(0, SpeedBarTop, width, SpeedBarBottom);
    window.Brush.Color = clBlue;
    window.Rectangle(s - MarkerHalfWidth, SpeedMarkerTop, s + MarkerHalfWidth, SpeedMarkerBottom);
    window.Pen.Color = clWhite;
    window.MoveTo(mid, CentreLineTop);
    window.LineTo(mid, CentreLineBottom);

    // The face covers the old needle; the paint box's last 5 rows and columns
    // are left alone.
    dial.Draw(0, 0, dialFace);
    const TCanvasPoint end = NeedleEnd(roadSpeed);
    dial.Pen.Width = NeedleWidth;
    dial.Pen.Color = clWhite;
    dial.MoveTo(NeedleHubX, NeedleHubY);
    dial.LineTo(end.X, end.Y);
}

} // namespace k58
