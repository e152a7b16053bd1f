"""Soak: the real program driven at random for a bounded time, with its sound
recorded by OpenAL Soft's file writer. The pointer jumps anywhere on the
screen, in and out of the window, with fast swings; lever buttons are clicked
at random, also in bursts while a gear change is still shaking the window, so
that gear changes nest. At the end the program must still run and answer,
no error box may have appeared, resident memory after the warm-up must have
grown by less than 5 MB, and closing the window must end it with exit code 0.

K58_SOAK_SECONDS sets the length (default 60; --long gives 1800).
K58_SOAK_SANITIZED=1: the program is a sanitizer build; its output is checked
for reports, and the memory bound is not applied (the sanitizer's quarantine
holds freed memory on purpose)."""

import os
import random
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import soakkit  # noqa: E402
import harness  # noqa: E402

WARM_UP_S = 10.0
RSS_GROWTH_LIMIT_KB = 5 * 1024
SECONDS = float(os.environ.get("K58_SOAK_SECONDS", "60"))
SANITIZED = os.environ.get("K58_SOAK_SANITIZED") == "1"


class RandomDriver:
    """Random pointer moves and lever clicks, with their own seed so that a
    failing run can be repeated (K58_SOAK_SEED)."""

    def __init__(self, program, seed):
        self.program = program
        self.rng = random.Random(seed)
        self.clicks = 0
        self.gear_clicks = 0

    def step(self):
        rng, program = self.rng, self.program
        kind = rng.random()
        if kind < 0.35:
            # Anywhere: inside or outside the window, even off its sides.
            program.point(rng.uniform(-0.6, 1.7), rng.uniform(-1.0, 2.5))
            time.sleep(rng.uniform(0.05, 0.5))
        elif kind < 0.5:
            # A fast swing from one side to the other.
            for fx in (rng.uniform(-0.5, 0.2), rng.uniform(0.8, 1.6), rng.uniform(-0.5, 1.6)):
                program.point(fx, rng.uniform(0.0, 1.5))
                time.sleep(0.01)
        elif kind < 0.8:
            self.click(rng.choice(harness.LEVERS))
            time.sleep(rng.uniform(0.02, 0.4))
        else:
            # I and II back to back while the first change still pumps
            # messages: the second runs nested inside the first.
            first = rng.choice(("I", "II"))
            self.click(first)
            time.sleep(rng.uniform(0.0, 0.15))
            self.click("II" if first == "I" else "I")
            time.sleep(rng.uniform(0.0, 0.15))
            self.click(first)
            self.gear_clicks += 3
            time.sleep(rng.uniform(0.1, 0.6))

    def click(self, lever):
        self.program.click_lever(lever)
        self.clicks += 1


class SoakTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="k58-soak-")
        self.display = harness.Display()
        self.display.start_window_manager()
        # 16-bit mono keeps a long recording small.
        self.program = harness.Program(
            self.display, os.path.join(self.tmp, "program.log"),
            sound=os.path.join(self.tmp, "soak.wav"),
            general="channels = mono\nsample-type = int16")

    def tearDown(self):
        self.program.stop()
        self.display.close()

    def run(self, result=None):
        # The folder goes only after a pass; tearDown runs before the outcome
        # is known.
        result = super().run(result)
        if result is not None and not (result.failures or result.errors):
            shutil.rmtree(self.tmp, ignore_errors=True)
        else:
            print(f"soak: screenshots and program output kept in {self.tmp}", flush=True)
        return result

    def assert_no_error_box(self):
        boxes = harness.other_windows(self.display, self.program.window)
        self.assertEqual(boxes, [], f"error box(es) appeared; program output in {self.tmp}")

    def assert_answers(self):
        """The window still reacts: a readout or the throttle bar follows
        the pointer, whatever state the drive is in and wherever the shakes
        have left the controls."""
        time.sleep(1.5)  # let any gear change finish shaking
        changed = harness.window_change(self.program, self.tmp, 0.6)
        self.assertGreater(changed, 5, "the window no longer follows the throttle")

    def test_random_drive(self):
        program = self.program
        self.assertIsNotNone(program.wait_window(), "no window titled K-58")
        seed = int(os.environ.get("K58_SOAK_SEED", str(int(time.time()))))
        print(f"soak: {SECONDS:.0f} s, seed {seed}", flush=True)
        driver = RandomDriver(program, seed)
        start = time.time()
        next_check = start + 2.0
        warm_rss = None
        peak_rss = 0
        while time.time() - start < SECONDS:
            driver.step()
            now = time.time()
            if now >= next_check:
                next_check = now + 2.0
                self.assertTrue(program.running(), "the program ended during the drive")
                self.assert_no_error_box()
                rss = soakkit.status_kb(program.pid, "VmRSS")
                peak_rss = max(peak_rss, rss or 0)
                if warm_rss is None and now - start >= WARM_UP_S:
                    warm_rss = rss

        self.assertTrue(program.running(), "the program ended during the drive")
        self.assert_no_error_box()
        state, ticks_before = soakkit.cpu_ticks(program.pid)
        self.assertNotIn(state, "ZTtX", f"process state {state}")
        self.assert_answers()
        _, ticks_after = soakkit.cpu_ticks(program.pid)
        self.assertGreater(ticks_after, ticks_before, "the program used no CPU: stuck?")
        self.assert_no_error_box()
        end_rss = soakkit.status_kb(program.pid, "VmRSS")
        print(f"soak: {driver.clicks} clicks ({driver.gear_clicks} in I/II bursts); "
              f"VmRSS after warm-up {warm_rss} kB, at the end {end_rss} kB, peak {peak_rss} kB",
              flush=True)
        if not SANITIZED and warm_rss is not None:
            self.assertLess(end_rss - warm_rss, RSS_GROWTH_LIMIT_KB, "resident memory grew")

        code = program.close_with_alt_f4(timeout=60 if SANITIZED else 15)
        self.assertIsNotNone(code, "the program did not end when its window was closed")
        output = program.output()
        reports = harness.sanitizer_reports(output)
        self.assertEqual(reports, [], output[-4000:])
        self.assertEqual(code, 0, output[-4000:])


if __name__ == "__main__":
    if "--long" in sys.argv:
        sys.argv.remove("--long")
        SECONDS = float(os.environ.get("K58_SOAK_SECONDS", "1800"))
    unittest.main()
