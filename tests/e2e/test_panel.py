"""End to end: the instrument panel as the real program draws it on its
window under Xvfb, with and without a window manager's frame."""

import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

from harness import CLIENT_W, LEFT, TOP  # noqa: E402
# Below the controls, inside the client area.
POINTER_Y = 145


class PanelTest(unittest.TestCase):
    def setUp(self):
        self.display = harness.Display()
        self.tmp = tempfile.mkdtemp(prefix="k58-panel-")
        self.proc = None
        self.face = harness.dial_face()

    def tearDown(self):
        harness.stop(self.proc)
        self.display.close()

    def panel(self, name):
        return harness.Panel(self.display.screenshot(os.path.join(self.tmp, name + ".png")),
                             self.origin)

    def point(self, client_x):
        self.display.xdotool("mousemove", "--", self.origin[0] + client_x, self.origin[1] + POINTER_Y)

    def check_panel(self, frame):
        """frame: the (left, right, top, bottom) frame the window should have."""
        self.proc = harness.Program(self.display).proc
        window = self.display.find_window("K-58")
        self.assertIsNotNone(window, "no window titled K-58")
        time.sleep(1.0)
        self.assertEqual(harness.frame_extents(self.display, window), frame)
        self.origin = harness.client_origin(self.display, window)
        left, right, top, _ = frame
        # The outer frame stands where the window definition puts it; Width
        # is its outer width, and the centre column is Width div 2 in client
        # coordinates.
        self.assertEqual((self.origin[0] - left, self.origin[1] - top), (LEFT, TOP))
        width = CLIENT_W + left + right
        mid = width // 2

        # Right of centre: green marker, the speed marker moving right, the
        # needle turning clockwise.
        x = mid + 60
        self.point(x)
        time.sleep(0.5)
        first = self.panel("right1")
        time.sleep(1.0)
        second = self.panel("right2")
        self.assertEqual(second.pixel(x, 8), harness.GREEN)
        self.assertEqual(second.pixel(x - 1, 8), harness.GREEN)
        s1, s2 = first.speed_column(), second.speed_column()
        self.assertIsNotNone(s2, "no speed marker")
        self.assertGreater(s2, s1 or 0, "the speed marker did not move right")
        a1, a2 = first.needle_angle(self.face), second.needle_angle(self.face)
        self.assertIsNotNone(a1, "no needle")
        self.assertGreater(a2, a1, "the needle did not turn clockwise")
        # The centre line, over both bars and the gap rows between them, and
        # nothing of it anywhere else: a centre line drawn at another width
        # (before the frame was known) does not linger.
        for y in (0, 1, 2, 8, 13, 18, 23):
            self.assertEqual(second.pixel(mid, y), harness.WHITE, f"centre line, row {y}")
        for column in range(mid - 6, mid + 7):
            if column != mid:
                self.assertNotEqual(second.pixel(column, 1), harness.WHITE, f"column {column}")

        # At the centre column the marker is red, one right of it green;
        # left of centre red. (The marker's inside is columns x - 1 and x;
        # the centre line covers column mid.)
        for client_x, colour in ((mid, harness.RED), (mid + 1, harness.GREEN),
                                 (mid - 80, harness.RED)):
            self.point(client_x)
            time.sleep(0.3)
            column = client_x - 1 if client_x == mid else client_x
            self.assertEqual(self.panel(f"at{client_x}").pixel(column, 8), colour,
                             f"marker at client x {client_x}, centre {mid}")
        self.assertIsNone(self.proc.poll(), "program ended")

    def test_panel_without_a_window_manager(self):
        self.check_panel((0, 0, 0, 0))

    def test_panel_in_a_window_managers_frame(self):
        self.display.start_window_manager()
        # openbox: 1 pixel at the sides and the bottom, a 20-pixel title bar.
        self.check_panel((1, 1, 20, 1))

    def test_a_scale_change_while_running_keeps_the_neutral_point(self):
        """The desktop's settings daemon turns Xft/DPI from 96 to 192 while
        the program runs: the cursor is read in the window's units at the new
        scale too, so the neutral point stays Width div 2."""
        self.display.close()
        self.display = harness.Display(1800, 1000)
        settings = os.path.join(self.tmp, "xsettingsd.conf")
        with open(settings, "w") as f:
            f.write("Xft/DPI 98304\n")
        log = os.path.join(self.tmp, "xsettingsd.log")
        with open(log, "wb") as out:
            daemon = subprocess.Popen(["xsettingsd", "-c", settings], env=self.display.env(),
                                      stdout=subprocess.DEVNULL, stderr=out)
        self.addCleanup(harness.stop, daemon)
        harness.wait_until(lambda: b"Took ownership" in open(log, "rb").read(), 10, step=0.05)
        self.proc = harness.Program(self.display).proc
        window = self.display.find_window("K-58")
        self.assertIsNotNone(window, "no window titled K-58")
        # Far left: no throttle, so no gear change shakes the window.
        self.display.xdotool("mousemove", 0, 500)
        with open(settings, "w") as f:
            f.write("Xft/DPI 196608\n")
        daemon.send_signal(signal.SIGHUP)
        harness.wait_until(lambda: self.display.geometry(window)["WIDTH"] == 2 * CLIENT_W, 10)
        self.assertEqual(self.display.geometry(window)["WIDTH"], 2 * CLIENT_W)
        left, top = harness.client_origin(self.display, window)
        mid = CLIENT_W // 2
        # Marker insides in window pixels: columns x - 1 and x, rows 6 to 9;
        # on screen each is two device pixels wide and high.
        for client_x, column, colour in ((mid, mid - 1, harness.RED),
                                         (mid + 1, mid + 1, harness.GREEN),
                                         (mid - 80, mid - 80, harness.RED)):
            self.display.xdotool("mousemove", left + 2 * client_x, top + 2 * POINTER_Y)
            time.sleep(0.3)
            shot = self.display.screenshot(os.path.join(self.tmp, f"scaled{client_x}.png"))
            self.assertEqual(shot.pixel(left + 2 * column + 1, top + 2 * 8), colour,
                             f"marker at client x {client_x}, centre {mid}")
        self.assertIsNone(self.proc.poll(), "program ended")


if __name__ == "__main__":
    unittest.main()
