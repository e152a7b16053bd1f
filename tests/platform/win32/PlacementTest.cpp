// The frame a form reports, reads the cursor against and moves when it is
// minimised: the normal placement's, not the parked icon's.
#include "platform/win32/Placement.h"

#include <gtest/gtest.h>

namespace k58 {
namespace {

bool operator==(const RECT& a, const RECT& b) {
    return EqualRect(&a, &b) != FALSE;
}

TEST(NormalFrameTest, AMinimisedFormStandsAndMovesAtItsNormalPlace) {
    // The program's frame on a 1920x1080 monitor, and where Windows parks
    // the minimised window.
    const RECT normal{273, 229, 848, 403};
    const RECT parked{-32000, -32000, -31840, -31973};
    MONITORINFO monitor{sizeof(MONITORINFO), {0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 0};
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    placement.showCmd = SW_SHOWMINIMIZED;
    placement.rcNormalPosition = normal;

    EXPECT_TRUE(NormalFrame(false, normal, placement, monitor) == normal);
    // Minimised, the cursor right of the window's centre stays right of the
    // centre of the frame it is read against (x - left < width).
    EXPECT_TRUE(NormalFrame(true, parked, placement, monitor) == normal);

    // With the task bar along the top, workspace coordinates begin below it.
    monitor.rcWork.top = 40;
    OffsetRect(&placement.rcNormalPosition, 0, -40);
    EXPECT_TRUE(NormalFrame(true, parked, placement, monitor) == normal);

    // The shake moves the normal place, which the window takes on restoring.
    MoveNormalFrame(placement, monitor, 280, 225);
    EXPECT_TRUE(NormalFrame(true, parked, placement, monitor) == (RECT{280, 225, 855, 399}));
    EXPECT_TRUE(placement.rcNormalPosition == (RECT{280, 185, 855, 359}));
}

} // namespace
} // namespace k58
