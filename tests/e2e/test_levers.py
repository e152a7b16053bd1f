"""End to end: the six lever buttons of the real window, clicked through the
window system (xdotool), each setting its lever position. The lever position shows in what
the tick does next: the speed marker (road speed), the gear readout and
which buttons are greyed."""

import os
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

LEVERS = harness.LEVERS
SETTLE = 0.6


class LeverTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="k58-levers-")
        self.display = harness.Display()
        self.run = harness.Program(self.display, os.path.join(self.tmp, "log"))
        self.assertIsNotNone(self.run.wait_window(), "no window titled K-58")
        time.sleep(0.5)
        self.shots = 0

    def tearDown(self):
        self.run.stop()
        self.display.close()

    def look(self):
        self.shots += 1
        shot = self.display.screenshot(os.path.join(self.tmp, f"shot{self.shots}.png"))
        return harness.Panel(shot, self.run.origin())

    def speed(self):
        """s of the speed marker, 0 when it is at the left edge or hidden."""
        return self.look().speed_column() or 0

    def enabled(self, panel, lever):
        """A lever button's caption is black while it can be pressed and
        greyed while its action is disabled."""
        cx, cy = self.run.lever_centre(lever)
        x, y = cx - panel.origin[0], cy - panel.origin[1]
        return panel.dark_pixels(x - 9, y - 9, x + 10, y + 10) > 0

    def shift(self, lever, gear):
        """Clicks the lever and checks the gear readout shows the digit gear
        afterwards."""
        self.click(lever)
        # The gear change's shake moves the readout for a while: wait for it.
        seen = []
        harness.wait_until(lambda: seen.append(self.look()) or seen[-1].gear_glyph() == gear, 5.0)
        self.assertEqual(seen[-1].gear_glyph(), gear, f"{lever}: wrong gear readout")
        return seen[-1]

    def click(self, lever):
        self.display.xdotool("mousemove", *self.run.lever_centre(lever), "click", "1")
        time.sleep(SETTLE)

    def test_each_lever_button_sets_its_lever_position(self):
        start = self.look()
        one = start.gear_glyph()  # "1"
        self.assertTrue(one, "no gear readout")
        # Lever position 0: R only from N at rest; the others can be picked.
        self.assertEqual([self.enabled(start, lever) for lever in LEVERS],
                         [True, False, True, True, True, True])

        # N (6): the throttle adds no road speed, and at rest R comes free.
        self.click("N")
        now = self.look()
        self.assertLessEqual(now.speed_column() or 0, 1, "N: road speed rose")
        self.assertTrue(self.enabled(now, "R"), "N at rest: R still greyed")

        # R (2): I, II and A are greyed, and R itself; road speed rises.
        self.click("R")
        now = self.look()
        self.assertEqual([self.enabled(now, lever) for lever in LEVERS],
                         [True, False, False, False, False, True])
        time.sleep(1.0)
        self.assertGreater(self.speed(), 5, "R: road speed did not rise")

        # B (1): road speed falls to 0 whatever the throttle; leaving R frees
        # the forward positions again.
        self.click("B")
        now = self.look()
        self.assertLessEqual(now.speed_column() or 0, 1, "B: road speed did not fall")
        self.assertTrue(all(self.enabled(now, lever) for lever in ("I", "II", "A")))

        # A (5): the throttle drives again.
        self.click("A")
        time.sleep(0.5)
        self.assertGreater(self.speed(), 5, "A: road speed did not rise")

        # II (4) in gear 1 shifts to gear 2; I (3) in gear 2 back to gear 1.
        self.click("II")
        time.sleep(0.5)
        two = self.look().gear_glyph()
        self.assertTrue(two and two != one, "II: the gear readout still shows 1")
        self.shift("I", gear=one)
        # (Clicks that land while a gear change pumps: MotorFormTest, which
        # nests them deterministically.)
        self.assertTrue(self.run.running(), "program ended")


if __name__ == "__main__":
    unittest.main()
