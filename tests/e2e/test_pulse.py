"""End to end through a real sound server: the program plays through OpenAL
Soft's PulseAudio backend into a private PulseAudio server's null sink, and
the sink's monitor is recorded with parec, as a user would hear it.

PulseSoundTest drives the same stretches as the file-writer test and holds
the recording to the same checks (pitch, beats, clunks, no gaps, no steps
beyond the sounds'). PulseRestartTest stops the server in the middle of a
drive and starts it again: the program goes on answering, and its sound
comes back on the new server."""

import os
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import harness  # noqa: E402
import pulsekit  # noqa: E402
import soundkit  # noqa: E402
import test_sound  # noqa: E402


def start_program(display, server, tmp):
    env = {"ALSOFT_DRIVERS": "pulse", **server.client_env()}
    return harness.Program(display, os.path.join(tmp, "log"), sound=None, extra_env=env)


class PulseRecording(test_sound.Recording):
    """The drive recorded from the server's sink; the marks come from the
    size of parec's file, which grows as the sink plays."""

    def __init__(self, display, tmp):
        self.server = pulsekit.PulseServer()
        self.recorder = self.server.record(os.path.join(tmp, "drive.raw"))
        self.program = start_program(display, self.server, tmp)
        self.recorder.wait_for(0.5)
        self.display = display
        self.tmp = tmp
        self.marks = {}

    def frames(self):
        return self.recorder.frames()

    def read(self):
        self.recorder.stop()
        return self.recorder.read()

    def close(self):
        self.recorder.stop()
        self.server.close()


class PulseSoundTest(test_sound.SoundTest):
    recording = PulseRecording

    def test_no_gaps_and_no_steps_beyond_what_the_sounds_contain(self):
        # The server's mix is not sample-exact (the file writer's test holds
        # the steps); no 20 ms window may fall silent.
        for a, b in (("idle", "idle_end"), ("n1", "n1_end"), ("n2", "n2_end"), ("ii", "end")):
            seg = self.stretch(a, b)
            levels = soundkit.window_levels_db(seg, self.rate)
            print(f"\n{a}: quietest 20 ms {min(levels):.1f} dB, largest step "
                  f"{soundkit.largest_step(seg):.4f}", file=sys.stderr)
            self.assertGreater(min(levels), -40.0, a)


class PulseRestartTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="k58-pulse-restart-")
        self.display = harness.Display()
        self.display.start_window_manager()
        self.server = pulsekit.PulseServer()
        self.recorders = []
        self.program = None

    def tearDown(self):
        for recorder in self.recorders:
            recorder.stop()
        if self.program is not None:
            self.program.stop()
        self.server.close()
        self.display.close()

    def record(self, name):
        self.recorders.append(self.server.record(os.path.join(self.tmp, name)))
        return self.recorders[-1]

    def idle(self, seconds):
        """N with the engine idling: a beat every 250 ms."""
        self.program.click_lever("N")
        self.program.point(-0.5, 1.3)
        time.sleep(seconds)

    def test_the_server_going_and_coming_back_mid_drive(self):
        before = self.record("before.raw")
        self.program = start_program(self.display, self.server, self.tmp)
        self.assertIsNotNone(self.program.wait_window(timeout=30), "no window titled K-58")
        before.wait_for(0.2)
        self.idle(3.0)
        before.stop()  # a recorder that loses its server drops what it holds
        self.server.stop()
        # No server: the program goes on answering.
        self.assertGreater(harness.readout_change(self.program, self.tmp, 0.5), 5,
                           "the readouts froze without the server")
        self.idle(1.0)
        self.server.start()
        after = self.record("after.raw")
        after.wait_for(0.2)  # the program plays into the new server
        self.idle(3.0)
        after.stop()
        self.assertGreater(harness.readout_change(self.program, self.tmp, 0.5), 5,
                           "the readouts froze after the server came back")
        self.assertEqual(harness.other_windows(self.display, self.program.window), [],
                         "a message appeared")
        code = self.program.close_with_alt_f4(timeout=15.0)
        self.assertEqual(code, 0, self.program.output()[-2000:])

        # parec takes a second or two to deliver its first samples: the last
        # 1.5 s of each recording, idling, are analysed.
        for name, recorder in (("before", before), ("after", after)):
            rate, mix = recorder.read()
            start, end = len(mix) / rate - 1.7, len(mix) / rate - 0.2
            self.assertGreater(start, 0.0, f"{name}: recording short")
            part = mix[int(start * rate):int(end * rate)]
            beats = soundkit.beat_onsets(part, rate)
            gaps = sorted(b - a for a, b in zip(beats, beats[1:]))
            quietest = min(soundkit.window_levels_db(part, rate))
            print(f"\n{name} the restart: {len(beats)} beats in {end - start:.1f} s, median "
                  f"interval {gaps[len(gaps) // 2] * 1000 if gaps else 0:.0f} ms, quietest 20 ms "
                  f"{quietest:.1f} dB", file=sys.stderr)
            self.assertGreaterEqual(len(beats), 0.8 * (end - start) / 0.250, name)
            self.assertAlmostEqual(gaps[len(gaps) // 2], 0.250, delta=0.025, msg=name)
            # The engine tone plays throughout.
            self.assertGreater(quietest, -40.0, name)


if __name__ == "__main__":
    unittest.main()
