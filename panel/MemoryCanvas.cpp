#include "panel/MemoryCanvas.h"

#include "panel/Bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace k58 {

namespace {

constexpr std::uint32_t Opaque = 0xFF000000u;

// Grows box to take in area (not empty).
void Include(TCanvasRect& box, const TCanvasRect& area) noexcept {
    if (box.Empty()) {
        box = area;
        return;
    }
    box.Left = std::min(box.Left, area.Left);
    box.Top = std::min(box.Top, area.Top);
    box.Right = std::max(box.Right, area.Right);
    box.Bottom = std::max(box.Bottom, area.Bottom);
}

std::uint32_t ToPixel(TColor color) noexcept {
    return Opaque | (color & 0xFFFFFFu);
}

// Drawing coordinates are limited to +-2^27, as on GDI, so that step
// arithmetic stays inside 64 bits.
constexpr std::int64_t MaxLineCoordinate = std::int64_t{1} << 27;

std::int64_t ClampCoordinate(int v) noexcept {
    return std::clamp<std::int64_t>(v, -MaxLineCoordinate, MaxLineCoordinate);
}

// Coordinates up to this magnitude keep every product in InStroke<int64_t>
// below 2^62.
constexpr int MaxExactCoordinate = 8192;

// Whether the point (x, y) lies within width / 2 of the segment from..to.
// With d = to - from and p = (x, y) - from, the distance test
// |p x d|^2 <= (width / 2)^2 |d|^2 is kept in integers as
// 4 |p x d|^2 <= width^2 |d|^2; beyond either end it is the distance to
// that end point.
template <typename T> bool InStroke(TCanvasPoint from, TCanvasPoint to, int x, int y, int width) {
    const T dx = T(to.X) - T(from.X);
    const T dy = T(to.Y) - T(from.Y);
    const T px = T(x) - T(from.X);
    const T py = T(y) - T(from.Y);
    const T width2 = T(width) * T(width);
    const T length2 = dx * dx + dy * dy;
    const T along = px * dx + py * dy;
    if (along <= 0)
        return 4 * (px * px + py * py) <= width2;
    if (along >= length2) {
        const T qx = T(x) - T(to.X);
        const T qy = T(y) - T(to.Y);
        return 4 * (qx * qx + qy * qy) <= width2;
    }
    const T cross = px * dy - py * dx;
    return 4 * cross * cross <= width2 * length2;
}

} // namespace

TMemoryCanvas::TMemoryCanvas(int width, int height)
    : mWidth(width), mHeight(height),
      mPixels(width > 0 && height > 0
                  ? static_cast<std::size_t>(width) * static_cast<std::size_t>(height)
                  : 0) {
    if (width < 0 || height < 0)
        throw std::invalid_argument("TMemoryCanvas: negative size");
}

std::uint32_t TMemoryCanvas::Pixel(int x, int y) const noexcept {
    if (x < 0 || y < 0 || x >= mWidth || y >= mHeight)
        return 0;
    return mPixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(mWidth) +
                   static_cast<std::size_t>(x)];
}

std::int64_t TMemoryCanvas::ColorAt(int x, int y) const noexcept {
    const std::uint32_t pixel = Pixel(x, y);
    return (pixel & Opaque) != 0 ? std::int64_t{pixel & 0xFFFFFFu} : -1;
}

void TMemoryCanvas::Clear() {
    const TCanvasRect drawn = std::exchange(mDrawn, TCanvasRect{});
    for (int y = drawn.Top; y < drawn.Bottom; ++y) {
        std::uint32_t* row =
            mPixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(mWidth);
        std::fill(row + drawn.Left, row + drawn.Right, 0u);
    }
    Touch(drawn.Left, drawn.Top, drawn.Right, drawn.Bottom);
    mDrawn = {};
}

void TMemoryCanvas::SetSize(int width, int height) {
    if (width == mWidth && height == mHeight)
        return;
    TMemoryCanvas resized(width, height);
    const int keepWidth = std::min(width, mWidth);
    for (int y = 0; y < std::min(height, mHeight); ++y)
        std::copy_n(mPixels.begin() + static_cast<std::ptrdiff_t>(y) * mWidth, keepWidth,
                    resized.mPixels.begin() + static_cast<std::ptrdiff_t>(y) * width);
    mWidth = width;
    mHeight = height;
    mPixels = std::move(resized.mPixels);
    mChanged = {0, 0, width, height};
    mDrawn = mChanged;
}

TCanvasRect TMemoryCanvas::TakeChangedRect() noexcept {
    return std::exchange(mChanged, TCanvasRect{});
}

void TMemoryCanvas::Touch(int x1, int y1, int x2, int y2) noexcept {
    if (x2 <= x1 || y2 <= y1)
        return;
    Include(mChanged, {x1, y1, x2, y2});
    Include(mDrawn, {x1, y1, x2, y2});
}

void TMemoryCanvas::Fill(int x1, int y1, int x2, int y2, TColor color) {
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, mWidth);
    y2 = std::min(y2, mHeight);
    if (x2 <= x1 || y2 <= y1)
        return;
    const std::uint32_t pixel = ToPixel(color);
    for (int y = y1; y < y2; ++y) {
        std::uint32_t* row =
            mPixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(mWidth);
        std::fill(row + x1, row + x2, pixel);
    }
    Touch(x1, y1, x2, y2);
}

void TMemoryCanvas::Plot(int x, int y, std::uint32_t pixel) noexcept {
    if (x < 0 || y < 0 || x >= mWidth || y >= mHeight)
        return;
    mPixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(mWidth) +
            static_cast<std::size_t>(x)] = pixel;
    Touch(x, y, x + 1, y + 1);
}

void TMemoryCanvas::Rectangle(int x1, int y1, int x2, int y2) {
    x1 = static_cast<int>(ClampCoordinate(x1));
    y1 = static_cast<int>(ClampCoordinate(y1));
    x2 = static_cast<int>(ClampCoordinate(x2));
    y2 = static_cast<int>(ClampCoordinate(y2));
    if (x2 < x1)
        std::swap(x1, x2);
    if (y2 < y1)
        std::swap(y1, y2);
    if (x2 == x1 || y2 == y1)
        return;
    // The border lies inside the covered area, so the rectangle never reaches
    // beyond x2 - 1, y2 - 1 whatever the pen width.
    const int ring = static_cast<int>(std::clamp<std::int64_t>(Pen.Width, 1, MaxLineCoordinate));
    const int innerLeft = std::min(x1 + ring, x2);
    const int innerRight = std::max(x2 - ring, innerLeft);
    const int innerTop = std::min(y1 + ring, y2);
    const int innerBottom = std::max(y2 - ring, innerTop);
    Fill(x1, y1, x2, innerTop, Pen.Color);                  // top edge
    Fill(x1, innerBottom, x2, y2, Pen.Color);               // bottom edge
    Fill(x1, innerTop, innerLeft, innerBottom, Pen.Color);  // left edge
    Fill(innerRight, innerTop, x2, innerBottom, Pen.Color); // right edge
    Fill(innerLeft, innerTop, innerRight, innerBottom, Brush.Color);
}

void TMemoryCanvas::LineTo(int x, int y) {
    const TCanvasPoint from = mPenPos;
    const TCanvasPoint to{x, y};
    if (Pen.Width <= 1)
        ThinLine(from, to);
    else
        WideLine(from, to, Pen.Width);
    mPenPos = to;
}

void TMemoryCanvas::ThinLine(TCanvasPoint from, TCanvasPoint to) {
    // Bresenham along the major axis: at step i the minor axis has moved
    // i * minor / major rounded, halves toward the start. The last point is
    // left out, so lines joined end to start draw every pixel once. Only the
    // steps that land on the surface are visited.
    const std::uint32_t pixel = ToPixel(Pen.Color);
    const std::int64_t x0 = ClampCoordinate(from.X);
    const std::int64_t y0 = ClampCoordinate(from.Y);
    const std::int64_t x1 = ClampCoordinate(to.X);
    const std::int64_t y1 = ClampCoordinate(to.Y);
    const bool xMajor = std::abs(x1 - x0) >= std::abs(y1 - y0);
    // Major axis a, minor axis b.
    const std::int64_t a0 = xMajor ? x0 : y0;
    const std::int64_t b0 = xMajor ? y0 : x0;
    const std::int64_t da = std::abs(xMajor ? x1 - x0 : y1 - y0);
    const std::int64_t db = std::abs(xMajor ? y1 - y0 : x1 - x0);
    const std::int64_t sa = (xMajor ? x1 >= x0 : y1 >= y0) ? 1 : -1;
    const std::int64_t sb = (xMajor ? y1 >= y0 : x1 >= x0) ? 1 : -1;
    const std::int64_t limit = xMajor ? mWidth : mHeight;
    // Steps i in [first, last) keep a0 + sa * i inside 0..limit-1.
    std::int64_t first = sa > 0 ? -a0 : a0 - (limit - 1);
    std::int64_t last = sa > 0 ? limit - a0 : a0 + 1;
    first = std::max<std::int64_t>(first, 0);
    last = std::min(last, da);
    for (std::int64_t i = first; i < last; ++i) {
        const std::int64_t a = a0 + sa * i;
        const std::int64_t b = b0 + sb * ((2 * i * db + da - 1) / (2 * da));
        if (xMajor)
            Plot(static_cast<int>(a), static_cast<int>(std::clamp<std::int64_t>(b, -1, mHeight)),
                 pixel);
        else
            Plot(static_cast<int>(std::clamp<std::int64_t>(b, -1, mWidth)), static_cast<int>(a),
                 pixel);
    }
}

void TMemoryCanvas::WideLine(TCanvasPoint from, TCanvasPoint to, int width) {
    // Every pixel whose centre lies within width / 2 of the segment: a stroke
    // of that thickness with round ends.
    const std::uint32_t pixel = ToPixel(Pen.Color);
    const std::int64_t reach = (std::int64_t{width} + 1) / 2;
    const int left = static_cast<int>(std::max<std::int64_t>(std::min(from.X, to.X) - reach, 0));
    const int right =
        static_cast<int>(std::min<std::int64_t>(std::max(from.X, to.X) + reach, mWidth - 1));
    const int top = static_cast<int>(std::max<std::int64_t>(std::min(from.Y, to.Y) - reach, 0));
    const int bottom =
        static_cast<int>(std::min<std::int64_t>(std::max(from.Y, to.Y) + reach, mHeight - 1));
    if (left > right || top > bottom)
        return;
    // Exact integer arithmetic for every line that can matter on a surface;
    // far-off coordinates would overflow it, so those fall back to doubles.
    const auto small = [](int v) { return v >= -MaxExactCoordinate && v <= MaxExactCoordinate; };
    const bool exact =
        small(from.X) && small(from.Y) && small(to.X) && small(to.Y) && width <= MaxExactCoordinate;
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            const bool inside = exact ? InStroke<std::int64_t>(from, to, x, y, width)
                                      : InStroke<double>(from, to, x, y, width);
            if (inside)
                Plot(x, y, pixel);
        }
    }
}

void TMemoryCanvas::Draw(int x, int y, const TBitmap& bitmap) {
    const int left = std::max(x, 0);
    const int top = std::max(y, 0);
    const int right = std::min(x + bitmap.Width(), mWidth);
    const int bottom = std::min(y + bitmap.Height(), mHeight);
    if (right <= left || bottom <= top)
        return;
    for (int row = top; row < bottom; ++row) {
        const std::uint32_t* src = bitmap.ScanLine(row - y) + (left - x);
        std::uint32_t* dst = mPixels.data() +
                             static_cast<std::size_t>(row) * static_cast<std::size_t>(mWidth) +
                             left;
        std::memcpy(dst, src, static_cast<std::size_t>(right - left) * sizeof(std::uint32_t));
    }
    Touch(left, top, right, bottom);
}

} // namespace k58
