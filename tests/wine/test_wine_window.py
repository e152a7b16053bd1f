"""End to end: k58.exe under Wine in a private Xvfb with openbox, driven with
xdotool, with no sound server anywhere (DirectSound finds no device, so the
window opens silently), started from a folder that also holds libraries
named DSound.dll, winmm.dll and uxtheme.dll. Wine draws the window's frame
itself, 3 pixels a side and a 19-pixel caption.

K58_SCREENSHOT=<path> saves the window, frame included, while it drives in
first gear (docs/screenshot-windows.png); K58_KEEP=1 keeps each test's
screenshots in its /tmp/k58-wine-e2e-* folder."""

import collections
import os
import shutil
import subprocess
import tempfile
import time
import unittest

import winekit
from winekit import harness

from harness import CLIENT_W, CLIENT_H, LEFT, TOP, LEVERS  # noqa: E402
OUTER_W = CLIENT_W + 2 * winekit.FRAME_SIDE
ROAD_SPEED_BOX = (112, 40, 140, 53)
# Every component of a shake moves by 4 jumps of -2..+2 on each axis.
SHAKE_REACH = 8


class WineWindowTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="k58-wine-e2e-")
        self.display = winekit.Display()
        self.display.start_window_manager()
        # Started from a folder that also holds libraries named as the system
        # libraries it uses: it must load the system's own.
        self.bin = os.path.join(self.tmp, "bin")
        self.run = winekit.Program(self.display, os.path.join(self.tmp, "log"),
                                   exe=winekit.beside_planted_libraries(self.bin),
                                   extra_env=winekit.prefer_planted())
        self.assertIsNotNone(self.run.wait_window(timeout=30),
                             "no window titled K-58: " + self.run.output()[-2000:])
        self.shots = 0

    def tearDown(self):
        self.run.stop()
        self.display.close()
        if not os.environ.get("K58_KEEP"):
            shutil.rmtree(self.tmp, ignore_errors=True)

    def look(self):
        self.shots += 1
        shot = self.display.screenshot(os.path.join(self.tmp, f"shot{self.shots}.png"))
        return harness.Panel(shot, self.run.origin())

    def point(self, client_x, client_y=145):
        x, y = self.run.origin()
        self.display.xdotool("mousemove", "--", x + client_x, y + client_y)

    def enabled(self, panel, lever):
        """A lever button's caption is dark while it can be pressed and grey
        while its action is disabled."""
        i = LEVERS.index(lever)
        x, y = 312 + 40 * i + 20, 52
        return panel.dark_pixels(x - 9, y - 9, x + 10, y + 10) > 0

    def face(self, panel, lever):
        """The commonest colour on a lever button's face (its caption takes
        fewer pixels): shows whether it looks pressed."""
        x, y = 312 + 40 * LEVERS.index(lever) + 20, 52
        return collections.Counter(panel.pixel(x + dx, y + dy) for dx in range(-10, 10)
                                   for dy in range(-10, 10)).most_common(1)[0][0]

    def wait_gear(self, glyph, timeout=20.0):
        """Waits until the gear readout shows a glyph other than glyph
        (None: a shifted window can hide the readout's edge for a moment)."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            now = self.look().gear_glyph()
            if now and now != glyph:
                return now
            time.sleep(0.3)
        return None

    def close(self):
        self.assertEqual(harness.other_windows(self.display, self.run.window), [],
                         "another window (an error box?) is open")
        self.assertEqual(winekit.planted_loaded(self.bin), [],
                         "a library beside k58.exe was loaded in place of the system's")
        code = self.run.close_with_alt_f4()
        self.assertEqual(code, 0, self.run.output()[-2000:])

    def test_placed_driven_shifted_shaken_and_closed(self):
        geo = self.display.geometry(self.run.window)
        # Wine's X window is the outer frame: at 273,229, the client inside.
        self.assertEqual((geo["X"], geo["Y"]), (LEFT, TOP))
        self.assertEqual((geo["WIDTH"], geo["HEIGHT"]),
                         (OUTER_W, CLIENT_H + 2 * winekit.FRAME_SIDE + winekit.CAPTION))
        mid = OUTER_W // 2  # Width div 2, in client coordinates

        # Left of centre: a red marker and nothing drives.
        self.point(20)
        time.sleep(0.5)
        still = self.look()
        self.assertEqual(still.pixel(20, 8), harness.RED)
        self.assertLessEqual(still.speed_column() or 0, 1)
        # Right of centre: a green marker, the road speed readout rises, the
        # speed marker moves right and the needle turns clockwise.
        self.point(mid + 200)
        time.sleep(1.0)
        first = self.look()
        time.sleep(1.0)
        second = self.look()
        x0, y0, x1, y1 = ROAD_SPEED_BOX
        changed = sum(1 for x in range(x0, x1) for y in range(y0, y1)
                      if still.pixel(x, y) != second.pixel(x, y))
        self.assertGreater(changed, 5, "road speed readout did not change")
        self.assertEqual(second.pixel(mid + 200, 8), harness.GREEN)
        self.assertEqual(second.pixel(mid + 199, 8), harness.GREEN)
        s1, s2 = first.speed_column(), second.speed_column()
        self.assertIsNotNone(s2, "no speed marker")
        self.assertGreater(s2, s1 or 0, "the speed marker did not move right")
        face = harness.dial_face()
        a1, a2 = first.needle_angle(face), second.needle_angle(face)
        self.assertIsNotNone(a1, "no needle")
        self.assertGreater(a2, a1, "the needle did not turn clockwise")
        # The bars' white borders across the client area's width, black
        # inside; the centre line over both bars.
        for y in (3, 12, 14, 23):
            self.assertEqual([second.pixel(x, y) for x in (0, 100, CLIENT_W - 1)],
                             [harness.WHITE] * 3, f"bar border, row {y}")
        for y in (8, 18):  # right of both markers
            self.assertEqual(second.pixel(CLIENT_W - 20, y), (0, 0, 0), f"bar inside, row {y}")
        for y in (0, 8, 18, 23):
            self.assertEqual(second.pixel(mid, y), harness.WHITE, f"centre line, row {y}")
        if os.environ.get("K58_SCREENSHOT"):
            x, y = self.run.frame()
            subprocess.run(["convert", second.shot.path, "-crop", f"{geo['WIDTH']}x{geo['HEIGHT']}"
                            f"+{x}+{y}", "+repage", os.environ["K58_SCREENSHOT"]], check=True)

        # The automatic upshift: gear 2, then one shake of the window.
        one = still.gear_glyph()
        self.assertTrue(one, "no gear readout")
        self.point(CLIENT_W + 40)
        two = self.wait_gear(one)
        self.assertIsNotNone(two, "no upshift within 20 s")
        time.sleep(1.0)  # the shake runs after the gear readout changes
        frames = [(LEFT, TOP), self.run.frame()]
        # Two shifts more by the levers, each with its shake: I back to gear
        # 1 (pointer far left, so no upshift follows), II to gear 2.
        self.run.click_lever("I")
        self.point(-200)
        self.assertEqual(self.wait_gear(two), one, "I: the gear readout does not show 1")
        time.sleep(1.0)
        frames.append(self.run.frame())
        self.run.click_lever("II")
        self.point(-200)
        self.assertEqual(self.wait_gear(one), two, "II: the gear readout does not show 2")
        time.sleep(1.0)
        frames.append(self.run.frame())
        steps = [(b[0] - a[0], b[1] - a[1]) for a, b in zip(frames, frames[1:])]
        self.assertTrue(all(abs(dx) <= SHAKE_REACH and abs(dy) <= SHAKE_REACH for dx, dy in steps),
                        f"the window moved by more than a shake: {steps}")
        # That all three shakes end where they began is a chance of 1 in
        # 100,000.
        self.assertNotEqual(steps, [(0, 0)] * 3, "the window does not shake")
        self.close()

    def test_levers_n_then_r_from_rest(self):
        self.point(20)  # left of centre: no throttle
        time.sleep(0.5)
        start = self.look()
        # Lever position 0: R only from N at rest; the others can be picked.
        self.assertEqual([self.enabled(start, lever) for lever in LEVERS],
                         [True, False, True, True, True, True])
        # On its way to N, right of centre, the pointer may have rolled the
        # vehicle a little; left of centre N brakes it to rest.
        self.run.click_lever("N")
        self.point(-100)
        time.sleep(0.5)
        at_n = self.look()
        self.assertTrue(self.enabled(at_n, "R"), "N at rest: R still greyed")
        pressed = self.face(at_n, "N")
        self.assertNotEqual(pressed, self.face(at_n, "R"), "N down looks as R up")
        # R: the forward positions and R itself greyed; the pointer over the
        # buttons, right of centre, drives backwards, the road speed rising.
        self.run.click_lever("R")
        time.sleep(0.5)
        now = self.look()
        self.assertEqual([self.enabled(now, lever) for lever in LEVERS],
                         [True, False, False, False, False, True])
        # R is down and, once the vehicle moves, disabled: it still looks
        # pressed, as N did.
        self.assertEqual(self.face(now, "R"), pressed, "R down and disabled does not look pressed")
        time.sleep(1.0)
        self.assertGreater(self.look().speed_column() or 0, 5, "R: road speed did not rise")
        self.close()


if __name__ == "__main__":
    unittest.main()
