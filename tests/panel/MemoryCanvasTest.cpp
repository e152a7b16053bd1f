#include "panel/MemoryCanvas.h"
#include "panel/Bitmap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>
#include <vector>

namespace k58 {
namespace {

// The drawn pixels of a colour, as (x, y) pairs.
std::set<std::pair<int, int>> PixelsOf(const TMemoryCanvas& canvas, TColor color) {
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < canvas.Height(); ++y)
        for (int x = 0; x < canvas.Width(); ++x)
            if (canvas.ColorAt(x, y) == color)
                out.insert({x, y});
    return out;
}

int DrawnCount(const TMemoryCanvas& canvas) {
    int n = 0;
    for (int y = 0; y < canvas.Height(); ++y)
        for (int x = 0; x < canvas.Width(); ++x)
            n += canvas.ColorAt(x, y) >= 0;
    return n;
}

TEST(MemoryCanvasTest, RectangleCoversUpToButExcludingItsRightAndBottomEdge) {
    TMemoryCanvas canvas(10, 10);
    canvas.Pen.Color = clWhite;
    canvas.Brush.Color = clBlue;
    canvas.Rectangle(2, 3, 6, 9);
    // Ring of pen colour, brush inside; columns 2..5, rows 3..8.
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool covered = x >= 2 && x <= 5 && y >= 3 && y <= 8;
            const bool inner = x >= 3 && x <= 4 && y >= 4 && y <= 7;
            const std::int64_t expected = !covered ? -1 : std::int64_t{inner ? clBlue : clWhite};
            EXPECT_EQ(canvas.ColorAt(x, y), expected) << x << "," << y;
        }
    }
    // Reversed corners give the same area.
    TMemoryCanvas reversed(10, 10);
    reversed.Pen.Color = clWhite;
    reversed.Brush.Color = clBlue;
    reversed.Rectangle(6, 9, 2, 3);
    EXPECT_EQ(PixelsOf(reversed, clBlue), PixelsOf(canvas, clBlue));
    EXPECT_EQ(PixelsOf(reversed, clWhite), PixelsOf(canvas, clWhite));
}

TEST(MemoryCanvasTest, RectangleIsClippedToTheSurface) {
    TMemoryCanvas canvas(6, 6);
    canvas.Brush.Color = clRed;
    canvas.Rectangle(-3, -3, 3, 3);   // only its lower right part shows
    canvas.Rectangle(100, 0, 110, 5); // entirely outside
    EXPECT_EQ(DrawnCount(canvas), 9);
    EXPECT_EQ(canvas.ColorAt(0, 0), clRed);
    EXPECT_EQ(canvas.ColorAt(1, 1), clRed);
    EXPECT_EQ(canvas.ColorAt(2, 2), clBlack); // the ring's corner
    EXPECT_EQ(canvas.ColorAt(0, 2), clBlack);
    EXPECT_EQ(canvas.ColorAt(3, 0), -1);
}

TEST(MemoryCanvasTest, ThinLineLeavesItsEndPointUndrawnAndMovesThePen) {
    TMemoryCanvas canvas(30, 30);
    canvas.Pen.Color = clWhite;
    canvas.MoveTo(5, 0);
    canvas.LineTo(5, 24);
    EXPECT_EQ(PixelsOf(canvas, clWhite).size(), 24u);
    EXPECT_EQ(canvas.ColorAt(5, 0), clWhite);
    EXPECT_EQ(canvas.ColorAt(5, 23), clWhite);
    EXPECT_EQ(canvas.ColorAt(5, 24), -1);
    EXPECT_EQ(canvas.PenPos(), (TCanvasPoint{5, 24}));

    // A slanted line: one pixel per step of the major axis, each within half a
    // pixel of the ideal line, the end point excluded.
    TMemoryCanvas slant(30, 30);
    slant.MoveTo(2, 20);
    slant.LineTo(27, 9);
    const auto drawn = PixelsOf(slant, clBlack);
    EXPECT_EQ(drawn.size(), 25u);
    EXPECT_FALSE(drawn.contains({27, 9}));
    for (const auto& [x, y] : drawn) {
        ASSERT_GE(x, 2);
        ASSERT_LT(x, 27);
        const double ideal = 20.0 + (x - 2) * (9.0 - 20.0) / 25.0;
        EXPECT_LE(std::abs(y - ideal), 0.5) << x;
    }
    // A zero-length thin line draws nothing.
    TMemoryCanvas dot(4, 4);
    dot.MoveTo(1, 1);
    dot.LineTo(1, 1);
    EXPECT_EQ(DrawnCount(dot), 0);
}

TEST(MemoryCanvasTest, WidePenDrawsACentredStrokeWithRoundEnds) {
    TMemoryCanvas canvas(20, 20);
    canvas.Pen.Width = 3;
    canvas.Pen.Color = clWhite;
    canvas.MoveTo(5, 10);
    canvas.LineTo(14, 10);
    // Rows 9..11 along the whole length, end points included, capped by
    // 3 x 3 corners (pixel centres within 1.5 of the ends).
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool on = x >= 4 && x <= 15 && y >= 9 && y <= 11;
            EXPECT_EQ(canvas.ColorAt(x, y) == clWhite, on) << x << "," << y;
        }

    // A diagonal stroke is 3 pixels thick across its direction, not along
    // the axes: every drawn pixel lies within 1.5 of the line, and the pixels
    // within 1 of it are all drawn.
    TMemoryCanvas diagonal(40, 40);
    diagonal.Pen.Width = 3;
    diagonal.MoveTo(10, 10);
    diagonal.LineTo(30, 25);
    const double len = std::hypot(20.0, 15.0);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const double along = ((x - 10) * 20.0 + (y - 10) * 15.0) / len;
            if (along < 0 || along > len)
                continue;
            const double across = std::abs((x - 10) * 15.0 - (y - 10) * 20.0) / len;
            const bool drawn = diagonal.ColorAt(x, y) == clBlack;
            if (across <= 1.0) {
                EXPECT_TRUE(drawn) << x << "," << y;
            } else if (across > 1.5) {
                EXPECT_FALSE(drawn) << x << "," << y;
            }
        }
}

TEST(MemoryCanvasTest, FarOffWideLineIsClippedWithoutOverflow) {
    TMemoryCanvas canvas(10, 10);
    canvas.Pen.Width = 3;
    canvas.MoveTo(-2000000000, 5);
    canvas.LineTo(2000000000, 5);
    EXPECT_EQ(DrawnCount(canvas), 30); // rows 4..6 across the surface
    EXPECT_EQ(canvas.ColorAt(0, 4), clBlack);
    EXPECT_EQ(canvas.ColorAt(9, 6), clBlack);
}

TEST(MemoryCanvasTest, DrawCopiesOpaquelyAndClips) {
    std::vector<std::uint32_t> pixels;
    for (int i = 0; i < 9; ++i)
        pixels.push_back(0xFF000000u | static_cast<std::uint32_t>(i + 1));
    const TBitmap bitmap(3, 3, pixels);
    TMemoryCanvas canvas(4, 4);
    canvas.Draw(2, -1, bitmap);
    // Columns 2..3 of the surface get bitmap columns 0..1, rows 0..1 get
    // bitmap rows 1..2.
    EXPECT_EQ(canvas.ColorAt(2, 0), 4);
    EXPECT_EQ(canvas.ColorAt(3, 0), 5);
    EXPECT_EQ(canvas.ColorAt(2, 1), 7);
    EXPECT_EQ(canvas.ColorAt(3, 1), 8);
    EXPECT_EQ(DrawnCount(canvas), 4);
}

TEST(MemoryCanvasTest, ReportsTheAreaChangedSinceItWasLastAsked) {
    TMemoryCanvas canvas(50, 50);
    EXPECT_TRUE(canvas.TakeChangedRect().Empty());
    canvas.Rectangle(10, 10, 20, 15);
    canvas.MoveTo(30, 40);
    canvas.LineTo(30, 45);
    canvas.Rectangle(-5, 48, 3, 60);
    EXPECT_EQ(canvas.TakeChangedRect(), (TCanvasRect{0, 10, 31, 50}));
    EXPECT_TRUE(canvas.TakeChangedRect().Empty());
}

TEST(MemoryCanvasTest, ResizingKeepsTheOverlapAndThePen) {
    TMemoryCanvas canvas(4, 4);
    canvas.Pen.Color = clWhite;
    canvas.Brush.Color = clRed;
    canvas.Rectangle(0, 0, 4, 4);
    canvas.SetSize(6, 2);
    EXPECT_EQ(canvas.ColorAt(0, 0), clWhite);
    EXPECT_EQ(canvas.ColorAt(1, 1), clRed);
    EXPECT_EQ(canvas.ColorAt(4, 0), -1);
    EXPECT_EQ(canvas.Pen.Color, clWhite);
}

} // namespace
} // namespace k58
