// A drawing surface over a pixel buffer in memory.
//
// Pixels are 32-bit 0xAARRGGBB words, one row after another with no padding,
// so a toolkit image (for example a premultiplied ARGB32 QImage) can wrap the
// buffer without copying. Every drawn pixel is opaque; a pixel never drawn
// since the last Clear() stays 0 (transparent), so whoever shows the surface
// can let its own background through there.
#pragma once

#include "panel/Canvas.h"

#include <cstdint>
#include <vector>

namespace k58 {

// A rectangle of columns Left..Right-1 and rows Top..Bottom-1.
struct TCanvasRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    bool Empty() const noexcept { return Right <= Left || Bottom <= Top; }
    friend bool operator==(const TCanvasRect&, const TCanvasRect&) = default;
};

class TMemoryCanvas : public TCanvas {
public:
    TMemoryCanvas(int width, int height);

    int Width() const noexcept { return mWidth; }
    int Height() const noexcept { return mHeight; }
    int BytesPerLine() const noexcept { return mWidth * 4; }
    const std::uint32_t* Bits() const noexcept { return mPixels.data(); }

    // The pixel at (x, y); 0 outside the surface or where nothing was drawn.
    std::uint32_t Pixel(int x, int y) const noexcept;
    // The colour at (x, y), or -1 if nothing was drawn there.
    std::int64_t ColorAt(int x, int y) const noexcept;

    // Makes every pixel undrawn again. Pen, brush and pen position stay.
    // Only what was drawn since the last Clear() is touched, so clearing a
    // surface that is drawn a little at a time costs as little.
    void Clear();
    // Changes the size; pixels inside both the old and the new size stay, new
    // ones are undrawn.
    void SetSize(int width, int height);

    // The bounding box of everything drawn since the last call, then resets it.
    TCanvasRect TakeChangedRect() noexcept;

    void Rectangle(int x1, int y1, int x2, int y2) override;
    void LineTo(int x, int y) override;
    void Draw(int x, int y, const TBitmap& bitmap) override;

private:
    void Fill(int x1, int y1, int x2, int y2, TColor color);
    void Plot(int x, int y, std::uint32_t pixel) noexcept;
    void ThinLine(TCanvasPoint from, TCanvasPoint to);
    void WideLine(TCanvasPoint from, TCanvasPoint to, int width);
    void Touch(int x1, int y1, int x2, int y2) noexcept;

    int mWidth;
    int mHeight;
    std::vector<std::uint32_t> mPixels;
    TCanvasRect mChanged;
    // The bounding box of everything drawn since the last Clear().
    TCanvasRect mDrawn;
};

} // namespace k58
