"""End to end: k58.exe's sound through Wine's DirectSound into a private
PulseAudio server's null sink, recorded from the sink's monitor with parec.
The drive and the checks are the Linux build's (tests/e2e/test_sound.py):
the engine tone's pitch at each engine speed, the beats at the interval the
tick sets, a clunk and six quick beats at each gear change. Wine's mixer
drops a few milliseconds now and then, so the mix is checked for the engine
tone's presence, not for being free of glitches."""

import os
import sys
import unittest
from unittest import mock

import winekit
from winekit import harness

sys.path.insert(0, str(winekit.HERE.parent / "e2e"))
import pulsekit  # noqa: E402
import soundkit  # noqa: E402
import test_pulse  # noqa: E402
import test_sound  # noqa: E402


class WineRecording(test_pulse.PulseRecording):
    def __init__(self, display, tmp):
        self.server = pulsekit.PulseServer()
        self.recorder = self.server.record(os.path.join(tmp, "drive.raw"))
        self.program = winekit.Program(display, os.path.join(tmp, "log"), sound=self.server)
        self.recorder.wait_for(0.5)
        self.display = display
        self.tmp = tmp
        self.marks = {}

    def activate_program(self, other):
        # Wine's windows take no activation from the window manager: a click
        # on a free spot of the client area activates it, as a user would.
        harness.stop(other)
        x, y = self.program.origin()
        self.display.xdotool("mousemove", x + 8, y + 145, "click", "1")
        self.display.xdotool("windowfocus", self.program.window, check=False)


class WineSoundTest(test_sound.SoundTest):
    recording = WineRecording

    @classmethod
    def setUpClass(cls):
        # The Linux drive, on a display whose window manager leaves alt+F4
        # to Wine's window.
        with mock.patch.object(harness, "Display", winekit.Display):
            super().setUpClass()

    @classmethod
    def outer_width(cls, program):
        return cls.display.geometry(program.window)["WIDTH"]

    def test_recording_is_whole_and_the_program_closed_cleanly(self):
        super().test_recording_is_whole_and_the_program_closed_cleanly()
        self.assertEqual(self.exit_code, 0)

    def test_no_gaps_and_no_steps_beyond_what_the_sounds_contain(self):
        # The engine tone plays throughout: nearly every 20 ms window holds
        # it, allowing for Wine's short dropouts.
        for a, b in (("idle", "idle_end"), ("n1", "n1_end"), ("n2", "n2_end"), ("ii", "end")):
            levels = soundkit.window_levels_db(self.stretch(a, b), self.rate)
            quiet = sum(1 for level in levels if level < -40.0)
            print(f"\n{a}: {quiet} of {len(levels)} 20 ms windows below -40 dB, quietest "
                  f"{min(levels):.1f} dB", file=sys.stderr)
            self.assertLessEqual(quiet, 0.02 * len(levels), a)


if __name__ == "__main__":
    unittest.main()
