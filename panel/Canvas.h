// A drawing surface with a persistent pen and brush, in the manner of a GDI
// device context: rectangles, lines and opaque bitmap copies, clipped to the
// surface.
#pragma once

#include <cstdint>

namespace k58 {

class TBitmap;

// A colour as 0xRRGGBB.
using TColor = std::uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clGreen = 0x00FF00; // full-intensity green
constexpr TColor clRed = 0xFF0000;
constexpr TColor clBlue = 0x0000FF;
constexpr TColor clWhite = 0xFFFFFF;

// Solid pen: colour and width in pixels.
struct TPen {
    TColor Color = clBlack;
    int Width = 1;
};

// Solid brush.
struct TBrush {
    TColor Color = clWhite;
};

struct TCanvasPoint {
    int X = 0;
    int Y = 0;
    friend bool operator==(const TCanvasPoint&, const TCanvasPoint&) = default;
};

class TCanvas {
public:
    virtual ~TCanvas() = default;

    // Pen and brush belong to the surface and keep their settings between
    // drawing calls; nothing resets them.
    TPen Pen;
    TBrush Brush;

    // Fills columns x1..x2-1 and rows y1..y2-1: a ring of Pen.Width pixels
    // along the inner edge in the pen colour, the rest in the brush colour.
    virtual void Rectangle(int x1, int y1, int x2, int y2) = 0;

    void MoveTo(int x, int y) { mPenPos = {x, y}; }
    // Draws from the pen position to (x, y) and moves the pen there. A
    // 1-pixel pen leaves the end point undrawn; a wider pen draws a stroke of
    // that thickness centred on the line, with round ends.
    virtual void LineTo(int x, int y) = 0;
    TCanvasPoint PenPos() const { return mPenPos; }

    // Copies the bitmap opaquely with its top-left corner at (x, y).
    virtual void Draw(int x, int y, const TBitmap& bitmap) = 0;

protected:
    TCanvasPoint mPenPos;
};

} // namespace k58
