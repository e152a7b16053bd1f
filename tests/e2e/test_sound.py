"""End to end: the real program's sound, recorded through OpenAL Soft's file
writer while xdotool drives it under Xvfb with a window manager.

One run, one recording, in stretches whose drive state is known:
  idle      pointer at the neutral point: engine speed 500, engine tone at
            22000 Hz, a beat every 250 ms
  N, +1     lever N, pointer right of centre at throttle 1: engine speed
            1100, engine tone at 28000 Hz, a beat every 70 ms
  N, +2     pointer beyond the right edge, throttle 2: engine speed 1200,
            engine tone at 29000 Hz
  shifts    back at idle, II (gear 1 to 2) then I (gear 2 to 1): a clunk
            each
The tones play throughout, so the whole recording must be free of gaps and
of steps larger than the carried sounds can make."""

import os
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import harness  # noqa: E402
import soundkit  # noqa: E402

NATIVE = 44100  # rate of the engine tone, the beat and the rolling tone
PITCH_BAND = (6.0, 280.0)  # where the engine tone's harmonics lie at these rates
TEMPLATE_BAND = (20.0, 200.0)


def engine_rate(engine_speed):
    return (engine_speed - 500) * 10 + 22000


class Recording:
    """Drives the program and notes, for each stretch, where it lies in the
    recording, from the size of the file being written (the writer works in
    real time)."""

    def __init__(self, display, tmp):
        self.wav = os.path.join(tmp, "drive.wav")
        self.tmp = tmp
        self.program = harness.Program(display, os.path.join(tmp, "log"), sound=self.wav)
        self.display = display
        self.marks = {}

    def frames(self):
        # 44-odd header bytes, then 8 bytes a frame (float stereo).
        return max(0, os.path.getsize(self.wav) - 44) // 8 if os.path.exists(self.wav) else 0

    def read(self):
        """(rate, mono samples) of the whole recording."""
        return soundkit.read_recording(self.wav)

    def close(self):
        pass

    def mark(self, name):
        self.marks[name] = self.frames()

    def neutral(self):
        """Client x = W / 2 (W the outer width), where the throttle is 0."""
        self.client_x(self.outer_width // 2)

    def client_x(self, cx):
        x, y = self.program.origin()
        self.display.xdotool("mousemove", "--", x + cx, y + 130)

    def panel(self, name):
        shot = self.display.screenshot(os.path.join(self.tmp, name + ".png"))
        return harness.Panel(shot, self.program.origin())

    def activate_other(self):
        """Makes another program's window the active one; returns it."""
        other = subprocess.Popen(["xmessage", "-geometry", "+300+500", "another program"],
                                 env=self.display.env(), stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        window = self.display.find_window("xmessage")
        self.display.xdotool("windowactivate", "--sync", window, check=False)
        return other

    def activate_program(self, other):
        """Ends the other program and makes K-58's window the active one."""
        harness.stop(other)
        self.display.xdotool("windowactivate", "--sync", self.program.window, check=False)


class SoundTest(unittest.TestCase):
    recording = Recording  # where the sound goes and how it is read back

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="k58-sound-")
        cls.display = harness.Display()
        cls.display.start_window_manager()
        rec = cls.rec = cls.recording(cls.display, cls.tmp)
        program = rec.program
        try:
            if not program.wait_window(timeout=30):
                raise RuntimeError("no window titled K-58")
            cls.display.xdotool("windowactivate", "--sync", program.window, check=False)
            rec.outer_width = cls.outer_width(program)
            rec.neutral()
            time.sleep(1.0)
            rec.mark("idle")
            time.sleep(3.0)
            rec.mark("idle_end")
            program.click_lever("N")
            # Throttle 1 at gain 7: (x - W/2) * 7 / W / 2 near 1.
            rec.client_x(rec.outer_width // 2 + rec.outer_width * 2 // 7)
            time.sleep(0.6)
            rec.mark("n1")
            time.sleep(3.0)
            rec.mark("n1_end")
            rec.client_x(rec.outer_width + 60)
            time.sleep(0.6)
            rec.mark("n2")
            time.sleep(2.5)
            rec.mark("n2_end")
            # A negative throttle drops engine speed to 500 at once.
            rec.client_x(-150)
            time.sleep(0.3)
            rec.neutral()
            time.sleep(1.0)
            rec.mark("ii")
            program.click_lever("II")
            rec.neutral()
            time.sleep(1.5)
            rec.mark("i")
            program.click_lever("I")
            rec.client_x(-150)
            time.sleep(0.3)
            rec.neutral()
            time.sleep(1.2)
            rec.mark("end")
            # A from rest, full throttle: the engine climbs to the automatic
            # upshift; once the gear readout shows it, the pointer at the
            # neutral point lets the engine fall back to idle in gear 2.
            one = program.gear_glyph()
            rec.mark("a")
            program.click_lever("A")
            rec.client_x(rec.outer_width + 60)
            cls.upshifted = harness.wait_until(
                lambda: program.gear_glyph() not in (one, frozenset()), 20.0, step=0.0)
            rec.neutral()
            time.sleep(3.0)
            rec.mark("a_end")
            # Another program's window active: the readouts keep following
            # the pointer; then K-58 active again, braking to idle.
            other = rec.activate_other()
            rec.mark("inactive")
            before = rec.panel("inactive")
            rec.client_x(rec.outer_width + 60)
            time.sleep(2.0)
            after = rec.panel("inactive_end")
            rec.mark("inactive_end")
            cls.inactive_readout_change = harness.engine_readout_change(before, after)
            rec.activate_program(other)
            rec.client_x(-150)
            rec.mark("active")
            time.sleep(2.5)
            rec.mark("active_end")
            cls.others = harness.other_windows(cls.display, program.window)
            cls.exit_code = program.close_with_alt_f4(timeout=16.0)
            cls.output = program.output()
        except BaseException:
            # tearDownClass does not run after a failed setUpClass: end the
            # recording's servers and the display here.
            program.stop()
            cls.tearDownClass()
            raise
        program.stop()
        cls.rate, cls.mix = rec.read()
        if os.environ.get("K58_SOUND_KEEP"):
            import pickle
            with open(os.environ["K58_SOUND_KEEP"], "wb") as f:
                pickle.dump((cls.rate, cls.mix, rec.marks), f)

    @classmethod
    def outer_width(cls, program):
        out = subprocess.run(["xwininfo", "-id", str(program.window)],
                                     env=cls.display.env(), capture_output=True, text=True,
                                     timeout=10).stdout
        # Under openbox the frame adds a pixel on each side.
        return int([l for l in out.splitlines() if "Width:" in l][0].split(":")[1]) + 2

    @classmethod
    def tearDownClass(cls):
        cls.rec.close()
        cls.display.close()

    def stretch(self, name, end=None, trim=0.0):
        a = self.rec.marks[name] + int(trim * self.rate)
        b = self.rec.marks[end] if end else len(self.mix)
        return self.mix[a:min(b, len(self.mix))]

    def test_recording_is_whole_and_the_program_closed_cleanly(self):
        self.assertEqual(self.others, [], "another window (an error box?) was open")
        self.assertEqual(self.exit_code, 0, self.output[-2000:])
        self.assertGreater(len(self.mix) / self.rate, 12.0)

    def engine_tone_rate(self, seg):
        """The engine tone's playback rate in a stretch of the mix, from its
        spectrum matched against the carried sound's."""
        template = soundkit.looped_tone_spectrum("engine-tone.wav", 2.0, *TEMPLATE_BAND)
        low, low_rate = soundkit.decimate_for_pitch(seg, self.rate)
        spec = soundkit.log_spectrum(low, low_rate, *PITCH_BAND)
        scale, _ = soundkit.match_scale(template, spec, 0.35, 1.3)
        return scale * NATIVE

    def test_engine_tone_pitch_follows_engine_speed(self):
        rates = {}
        for name, speed in (("idle", 500), ("n1", 1100), ("n2", 1200)):
            seg = self.stretch(name, name + "_end")[:int(2.0 * self.rate)]
            rates[name] = (self.engine_tone_rate(seg), engine_rate(speed))
        print("\nengine tone rate, measured vs set:", rates, file=sys.stderr)
        for name, (measured, expected) in rates.items():
            self.assertAlmostEqual(measured / expected, 1.0, delta=0.02, msg=name)
        ratio = rates["n1"][0] / rates["idle"][0]
        print(f"ratio n1/idle {ratio:.4f} (expected {28000 / 22000:.4f})", file=sys.stderr)
        self.assertAlmostEqual(ratio, 28000 / 22000, delta=0.02)

    def test_the_automatic_upshift_clunks_once_and_the_tone_falls_back_to_idle(self):
        self.assertTrue(self.upshifted, "the gear readout never showed the upshift")
        seg = self.stretch("a", "a_end")
        # A gear change heard: a clunk followed by the sequence's beats, some
        # of them 20 ms apart, closer than the tick ever sets them (70 ms at
        # the least); the clunk matcher alone also fires on a fast-climbing
        # engine. The pumping between them spreads the six, and the clunk's
        # impact can hide some.
        beats = soundkit.beat_onsets(seg, self.rate, min_gap=0.012)

        def quick_pairs(c):
            near = [t for t in beats if c - 0.01 <= t <= c + 0.4]
            return sum(1 for a, b in zip(near, near[1:]) if b - a < 0.04)

        clunks = [c for c in soundkit.clunk_onsets(seg, self.rate) if quick_pairs(c) >= 1]
        self.assertEqual(len(clunks), 1, "one gear change at the upshift and no other: clunks "
                         f"{soundkit.clunk_onsets(seg, self.rate)}, beats {beats}")
        at = int(clunks[0] * self.rate)
        climbed = self.engine_tone_rate(seg[at - int(0.3 * self.rate):at - int(0.02 * self.rate)])
        start = self.engine_tone_rate(seg[:int(0.5 * self.rate)])
        idle = self.engine_tone_rate(seg[-int(1.0 * self.rate):])
        print(f"\nA: engine tone {start:.0f} Hz at the start, {climbed:.0f} Hz before the clunk "
              f"at {clunks[0]:.2f} s, {idle:.0f} Hz after it", file=sys.stderr)
        self.assertAlmostEqual(start / engine_rate(500), 1.0, delta=0.02)
        self.assertGreater(climbed, 1.3 * engine_rate(500), "the tone did not climb")
        self.assertAlmostEqual(idle / engine_rate(500), 1.0, delta=0.02)

    def test_beats_stop_while_another_window_is_active_and_resume_after(self):
        self.assertGreater(self.inactive_readout_change, 5, "the readouts stood still")
        inactive = self.stretch("inactive", "inactive_end", trim=0.3)
        self.assertEqual(soundkit.beat_onsets(inactive, self.rate), [], "beats while inactive")
        found = self.beat_onsets("active", "active_end")
        gaps = sorted(b - a for a, b in zip(found, found[1:]))
        print(f"\nactive again: {len(found)} beats, median interval "
              f"{gaps[len(gaps) // 2] * 1000 if gaps else 0:.0f} ms", file=sys.stderr)
        self.assertGreaterEqual(len(found), 6)
        self.assertAlmostEqual(gaps[len(gaps) // 2], 0.250, delta=0.025)

    def beat_onsets(self, name, end, min_gap=0.03):
        """Start times (s, from the stretch's start) of the engine beats."""
        return soundkit.beat_onsets(self.stretch(name, end), self.rate, min_gap)

    def test_engine_beats_come_at_the_interval_engine_speed_sets(self):
        for name, interval in (("idle", 0.250), ("n1", 0.070)):
            found = self.beat_onsets(name, name + "_end")
            span = (self.rec.marks[name + "_end"] - self.rec.marks[name]) / self.rate
            gaps = sorted(b - a for a, b in zip(found, found[1:]))
            mean = (found[-1] - found[0]) / (len(found) - 1) if len(found) > 1 else 0.0
            median = gaps[len(gaps) // 2] if gaps else 0.0
            print(f"\nbeats in {name}: {len(found)} in {span:.2f} s, mean interval "
                  f"{mean * 1000:.1f} ms, median {median * 1000:.1f} ms (set {interval * 1000:.0f})",
                  file=sys.stderr)
            # The mixer starts a voice on its next period (about 6 ms) and
            # the idle-driven timer fires a little late: a few ms either way.
            self.assertGreaterEqual(len(found), 0.8 * span / interval, name)
            self.assertLessEqual(len(found), 1.1 * span / interval + 1, name)
            self.assertAlmostEqual(mean, interval, delta=0.1 * interval, msg=name)
            self.assertAlmostEqual(median, interval, delta=0.1 * interval, msg=name)

    def test_each_gear_change_sounds_a_clunk_and_six_quick_beats(self):
        # From just before the first shift, at idle.
        start = self.rec.marks["ii"] / self.rate
        clunks = [start + t for t in soundkit.clunk_onsets(self.stretch("ii", "end"), self.rate)]
        clicks = [self.rec.marks[m] / self.rate for m in ("ii", "i")]
        print(f"\nclunks at {[round(t, 3) for t in clunks]} s, clicks at "
              f"{[round(t, 3) for t in clicks]} s", file=sys.stderr)
        self.assertEqual(len(clunks), 2, "one clunk for each of the two gear changes and no other")
        for clunk_at, click_at in zip(clunks, clicks):
            self.assertGreater(clunk_at, click_at - 0.05)
            self.assertLess(clunk_at, click_at + 0.8)
            # Its impact reaches (nearly) full scale in the mix.
            at = int(clunk_at * self.rate)
            self.assertGreater(max(abs(v) for v in self.mix[at:at + int(0.3 * self.rate)]), 0.7)
        # The six beats of each sequence, about 20 ms apart, right after it.
        beats = [start + t for t in self.beat_onsets("ii", "end", min_gap=0.012)]
        for clunk_at in clunks:
            quick = [t for t in beats if clunk_at - 0.01 <= t <= clunk_at + 0.3]
            self.assertGreaterEqual(len(quick), 6, f"beats after the clunk at {clunk_at:.2f} s")

    def test_no_gaps_and_no_steps_beyond_what_the_sounds_contain(self):
        # Largest sample steps of the carried sounds at their playback rates.
        def step(asset, looped, rate=None):
            src_rate, samples = soundkit.read_asset(asset)
            return soundkit.largest_step_at(samples, rate or src_rate, self.rate, looped)

        beat, clunk = step("engine-beat.wav", False), step("clunk.wav", False)
        rolling = step("rolling-tone.wav", True, 15000)
        stretches = {
            # name: (from, to, engine tone rate, beat voices at once, clunks)
            "idle": ("idle", "idle_end", 22000, 2, 0),
            "n1": ("n1", "n1_end", 28000, 7, 0),
            "n2": ("n2", "n2_end", 29000, 7, 0),
            # Two gear changes: six beats on top of the running ones, engine
            # speed up to 2500 (42000 Hz) after I.
            "shifts": ("ii", "end", 42000, 2 + 7, 1),
        }
        for name, (a, b, tone_rate, voices, clunks) in stretches.items():
            seg = self.stretch(a, b)
            bound = (step("engine-tone.wav", True, tone_rate) + rolling + voices * beat
                     + clunks * clunk)
            worst = soundkit.largest_step(seg)
            levels = soundkit.window_levels_db(seg, self.rate)
            print(f"\n{name}: largest step {worst:.4f} (bound {bound:.4f}), quietest 20 ms "
                  f"{min(levels):.1f} dB", file=sys.stderr)
            self.assertLess(worst, bound, name)
            # The engine tone alone keeps every 20 ms above -30 dB.
            self.assertGreater(min(levels), -40.0, name)

if __name__ == "__main__":
    unittest.main()
