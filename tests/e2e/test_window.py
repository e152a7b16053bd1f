"""End to end: the real program's window under Xvfb, driven with xdotool."""

import os
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

from harness import CLIENT_W, CLIENT_H, LEFT, TOP  # noqa: E402


class WindowTest(unittest.TestCase):
    def setUp(self):
        self.display = harness.Display()
        self.tmp = tempfile.mkdtemp(prefix="k58-e2e-")
        self.proc = None

    def tearDown(self):
        harness.stop(self.proc)
        self.display.close()

    def test_window_opens_at_its_place_and_reacts_to_the_pointer(self):
        self.proc = harness.Program(self.display).proc
        window = self.display.find_window("K-58")
        self.assertIsNotNone(window, "no window titled K-58")
        self.display.xdotool("windowfocus", window, check=False)
        geo = self.display.geometry(window)
        self.assertEqual((geo["WIDTH"], geo["HEIGHT"]), (CLIENT_W, CLIENT_H))
        self.assertEqual((geo["X"], geo["Y"]), (LEFT, TOP))

        # Cursor left of centre: nothing moves; right of centre: the drive
        # speeds up and the window's readouts change.
        self.display.xdotool("mousemove", LEFT + 20, TOP + 140)
        time.sleep(0.5)
        before = self.display.screenshot(os.path.join(self.tmp, "before.png"))
        self.display.xdotool("mousemove", LEFT + 540, TOP + 140)
        time.sleep(4.0)
        after = self.display.screenshot(os.path.join(self.tmp, "after.png"))
        # The road speed readout (Label5 at 112, 40) changes from 0.
        box = [(LEFT + x, TOP + y) for x in range(112, 140) for y in range(40, 53)]
        changed = sum(1 for p in box if before.pixel(*p) != after.pixel(*p))
        self.assertGreater(changed, 5, "road speed readout did not change")
        self.assertIsNone(self.proc.poll(), "program ended")

    def test_closing_the_window_ends_the_program_with_exit_code_0(self):
        self.display.start_window_manager()
        self.proc = harness.Program(self.display).proc
        window = self.display.find_window("K-58")
        self.assertIsNotNone(window)
        # While another window is open (as an error box would be), the
        # harness closes nothing: alt+F4 would go to whichever is active.
        other = subprocess.Popen(["xmessage", "-geometry", "+300+500", "error"],
                                 env=self.display.env(), stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        try:
            box = self.display.find_window("xmessage")
            self.assertIsNotNone(box)
            self.display.xdotool("windowactivate", "--sync", box, check=False)
            with self.assertRaisesRegex(harness.CloseFailed, "an error box is open"):
                harness.close_window(self.display, window, self.proc, timeout=3)
            self.assertIsNone(self.proc.poll(), "the program was closed past another window")
            self.assertIsNone(other.poll(), "the other window was closed")
        finally:
            harness.stop(other)
        self.assertEqual(harness.close_window(self.display, window, self.proc), 0)

    def test_missing_sound_module_shows_the_application_error_box_and_exits_1(self):
        binary = harness.copy_program_without_module(self.tmp)
        self.proc = harness.Program(self.display, binary=binary).proc
        box = self.display.find_window("Application Error")
        self.assertIsNotNone(box, "no Application Error box")
        self.assertIsNone(self.display.find_window("K-58", timeout=0.5), "main window opened")
        self.display.xdotool("windowfocus", box, check=False)
        self.display.xdotool("key", "--window", box, "Return", check=False)
        code = self.proc.wait(10)
        self.assertEqual(code, 1)


if __name__ == "__main__":
    unittest.main()
