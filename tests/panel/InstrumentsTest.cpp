#include "panel/Instruments.h"
#include "assets/Assets.h"
#include "panel/MemoryCanvas.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>

namespace k58 {
namespace {

// A 569 x 152 client area in a 3-pixel frame: Width 575, mid 287.
constexpr int ClientWidth = 569;
constexpr int ClientHeight = 152;
constexpr int OuterWidth = 575;
constexpr int Mid = OuterWidth / 2;

class InstrumentsTest : public testing::Test {
protected:
    void Draw(int roadSpeed, int cursorX) {
        int reads = 0;
        DrawInstruments(window, dial, face, roadSpeed, OuterWidth, [&] {
            ++reads;
            return cursorX;
        });
        EXPECT_EQ(reads, 1);
    }

    // The colour inside a marker whose coloured core is columns c - 1 and c.
    std::int64_t CursorMarkerCore(int c) const { return window.ColorAt(c, 7); }

    TMemoryCanvas window{ClientWidth, ClientHeight};
    TMemoryCanvas dial{105, 105};
    TBitmap face = LoadBitmap(assets::Find("dial.bmp"));
};

TEST_F(InstrumentsTest, NeedleEndPointsFollowTheFloatAngleRoundedHalfToEven) {
    const struct {
        int roadSpeed;
        TCanvasPoint end;
    } table[] = {{0, {11, 73}},   {300, {5, 50}},   {600, {11, 27}},  {900, {28, 11}},
                 {1200, {50, 5}}, {1500, {73, 11}}, {1800, {89, 28}}, {2100, {95, 50}}};
    // The rounding of the end points does not follow the floating-point
    // rounding mode. (Storing the angle as a float does: rounding upward
    // moves the angle at road speed 0 across the half, so that mode is left
    // out; in these two the float comes out as in the default one.)
    for (const int mode : {FE_TONEAREST, FE_DOWNWARD, FE_TOWARDZERO}) {
        std::fesetround(mode);
        for (const auto& row : table)
            EXPECT_EQ(NeedleEnd(row.roadSpeed), row.end) << row.roadSpeed << " in mode " << mode;
    }
    std::fesetround(FE_TONEAREST);
}

TEST_F(InstrumentsTest, NeedleIsAThreePixelWhiteStrokeFromTheHubToItsEndPoint) {
    for (const int roadSpeed : {0, 1500, 2100}) {
        Draw(roadSpeed, 0);
        const TCanvasPoint end = NeedleEnd(roadSpeed);
        EXPECT_EQ(dial.ColorAt(end.X, end.Y), clWhite) << roadSpeed;
        // Halfway out, the stroke is white and 3 pixels thick across it.
        const double mx = (50 + end.X) / 2.0;
        const double my = (50 + end.Y) / 2.0;
        const double len = std::hypot(end.X - 50.0, end.Y - 50.0);
        const double nx = -(end.Y - 50) / len;
        const double ny = (end.X - 50) / len;
        EXPECT_EQ(dial.ColorAt(static_cast<int>(std::lround(mx + nx)),
                               static_cast<int>(std::lround(my + ny))),
                  clWhite);
        EXPECT_NE(dial.ColorAt(static_cast<int>(std::lround(mx + 3 * nx)),
                               static_cast<int>(std::lround(my + 3 * ny))),
                  clWhite);
        EXPECT_EQ(dial.Pen.Width, 3);
    }
    // The face erased the earlier needles: the 0-speed tip is face again.
    EXPECT_EQ(dial.Pixel(11, 73), face.Pixel(11, 73));
}

TEST_F(InstrumentsTest, CursorMarkerIsRedUpToMidAndGreenRightOfIt) {
    Draw(0, Mid);
    EXPECT_EQ(CursorMarkerCore(Mid - 1), clRed);
    // The centre line runs through the marker's right core column.
    EXPECT_EQ(CursorMarkerCore(Mid), clWhite);
    Draw(0, Mid + 1);
    EXPECT_EQ(CursorMarkerCore(Mid), clWhite); // centre line again
    EXPECT_EQ(CursorMarkerCore(Mid + 1), clGreen);
    // The old marker was erased by the bar.
    Draw(0, 100);
    EXPECT_EQ(CursorMarkerCore(Mid + 1), clBlack);
    EXPECT_EQ(CursorMarkerCore(99), clRed);
    EXPECT_EQ(CursorMarkerCore(100), clRed);
    EXPECT_EQ(window.ColorAt(99, 6), clRed);
    EXPECT_EQ(window.ColorAt(99, 9), clRed);
    EXPECT_EQ(window.ColorAt(99, 5), clWhite);  // border
    EXPECT_EQ(window.ColorAt(99, 10), clWhite); // border
    EXPECT_EQ(window.ColorAt(98, 7), clWhite);
    EXPECT_EQ(window.ColorAt(101, 7), clWhite);
    EXPECT_EQ(window.ColorAt(102, 7), clBlack); // bar
}

TEST_F(InstrumentsTest, MarkerFarOutsideTheClientAreaIsClippedAway) {
    // Far left: nothing but the bar; the colour rule still says red.
    Draw(0, -3);
    Draw(0, -3);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(window.ColorAt(x, 7), x == 0 ? clWhite : clBlack) << x;
    // Partly visible at the left edge: columns -1..2, core -1..0, red.
    Draw(0, 0);
    EXPECT_EQ(window.ColorAt(0, 7), clRed);
    EXPECT_EQ(window.ColorAt(1, 7), clWhite);
    // Far right: x at least 2 beyond the client width, nothing shows.
    Draw(0, ClientWidth + 2);
    for (int x = ClientWidth - 3; x < ClientWidth; ++x)
        EXPECT_EQ(window.ColorAt(x, 7), clBlack) << x;
    // Partly visible at the right edge: core columns 567, 568, green.
    Draw(0, ClientWidth - 1);
    EXPECT_EQ(window.ColorAt(ClientWidth - 1, 7), clGreen);
    EXPECT_EQ(window.ColorAt(ClientWidth - 2, 7), clGreen);
    // Extreme readings are clipped away just the same.
    Draw(0, std::numeric_limits<int>::min());
    EXPECT_EQ(window.ColorAt(1, 7), clBlack);
    Draw(0, std::numeric_limits<int>::max());
    EXPECT_EQ(window.ColorAt(ClientWidth - 1, 7), clBlack);
    // The bars and the centre line are drawn all the same; the bar's right
    // border at Width - 1 lies beyond the client area.
    EXPECT_EQ(window.ColorAt(Mid, 0), clWhite);
    EXPECT_EQ(window.ColorAt(ClientWidth - 1, 18), clBlack);
}

TEST_F(InstrumentsTest, SpeedMarkerAtStandstillAndTopSpeed) {
    Draw(0, 0);
    Draw(0, 0);
    // Columns -2..1: the core column 0 and the right border column 1.
    EXPECT_EQ(window.ColorAt(0, 18), clBlue);
    EXPECT_EQ(window.ColorAt(1, 18), clWhite);
    EXPECT_EQ(window.ColorAt(0, 16), clWhite);
    EXPECT_EQ(window.ColorAt(2, 18), clBlack);
    Draw(2100, 0);
    // Columns 418..421, blue core 419..420, rows 17..20.
    for (int y = 17; y <= 20; ++y) {
        EXPECT_EQ(window.ColorAt(419, y), clBlue);
        EXPECT_EQ(window.ColorAt(420, y), clBlue);
    }
    EXPECT_EQ(window.ColorAt(418, 18), clWhite);
    EXPECT_EQ(window.ColorAt(421, 18), clWhite);
    EXPECT_EQ(window.ColorAt(419, 16), clWhite);
    EXPECT_EQ(window.ColorAt(419, 21), clWhite);
    EXPECT_EQ(window.ColorAt(417, 18), clBlack);
    EXPECT_EQ(window.ColorAt(422, 18), clBlack);
    EXPECT_EQ(window.ColorAt(0, 18), clWhite); // the bar's left border
    EXPECT_EQ(window.ColorAt(1, 18), clBlack); // the old marker is gone
}

TEST_F(InstrumentsTest, FirstCallDrawsBlackBordersAndLaterCallsWhite) {
    Draw(600, 200);
    // Bars: the border rows are black like the inside.
    EXPECT_EQ(window.ColorAt(10, 3), clBlack);
    EXPECT_EQ(window.ColorAt(0, 14), clBlack);
    // Markers: black border around the coloured core.
    EXPECT_EQ(window.ColorAt(198, 7), clBlack);
    EXPECT_EQ(window.ColorAt(199, 7), clRed);
    EXPECT_EQ(window.ColorAt(118, 16), clBlack);
    EXPECT_EQ(window.ColorAt(119, 17), clBlue);
    EXPECT_EQ(window.Pen.Color, clWhite);

    Draw(600, 200);
    EXPECT_EQ(window.ColorAt(10, 3), clWhite);
    EXPECT_EQ(window.ColorAt(10, 12), clWhite);
    EXPECT_EQ(window.ColorAt(10, 13), -1); // the gap between the bars
    EXPECT_EQ(window.ColorAt(0, 14), clWhite);
    EXPECT_EQ(window.ColorAt(10, 23), clWhite);
    EXPECT_EQ(window.ColorAt(10, 8), clBlack);
    EXPECT_EQ(window.ColorAt(198, 7), clWhite);
    EXPECT_EQ(window.ColorAt(199, 7), clRed);
    EXPECT_EQ(window.ColorAt(118, 16), clWhite);
}

TEST_F(InstrumentsTest, CentreLineCoversRowsZeroToTwentyThreeOnly) {
    Draw(0, 0);
    for (int y = 0; y < 24; ++y)
        EXPECT_EQ(window.ColorAt(Mid, y), clWhite) << y;
    EXPECT_EQ(window.ColorAt(Mid, 24), -1);
    // Nothing at all below row 23: the controls there are never overdrawn.
    for (int y = 24; y < ClientHeight; ++y)
        for (int x = 0; x < ClientWidth; ++x)
            ASSERT_EQ(window.ColorAt(x, y), -1) << x << "," << y;
    // Rows 0..2 hold only the centre line.
    EXPECT_EQ(window.ColorAt(Mid - 1, 1), -1);
    EXPECT_EQ(window.ColorAt(Mid + 1, 1), -1);
}

TEST_F(InstrumentsTest, DialFaceCoversTheTopLeft100PixelsOnly) {
    Draw(1200, 0);
    EXPECT_EQ(dial.Pixel(0, 0), face.Pixel(0, 0));
    EXPECT_EQ(dial.Pixel(99, 99), face.Pixel(99, 99));
    // The last 5 columns and rows of the paint box are never painted.
    for (int i = 0; i < 105; ++i)
        for (int k = 100; k < 105; ++k) {
            ASSERT_EQ(dial.ColorAt(k, i), -1) << k << "," << i;
            ASSERT_EQ(dial.ColorAt(i, k), -1) << i << "," << k;
        }
}

} // namespace
} // namespace k58
