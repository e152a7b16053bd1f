"""Helpers for long runs of the real program on top of the end-to-end harness:
start with the output logged to a file, track the window as it moves, press
lever buttons, watch memory and CPU in /proc, spot extra top-level windows
(error boxes), and read the recorded sound."""

import array
import math
import os
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness  # noqa: E402

TITLE = "K-58"
CLIENT_W, CLIENT_H = 569, 152
LEVERS = "B R I II A N".split()


sound_env = harness.sound_env


class Program:
    """The real program on a display, its stdout and stderr going to a file
    (a pipe nobody reads would fill up and stall it on a long run)."""

    def __init__(self, display, log_path, sound="null", binary=None, extra_env=None, general=""):
        self.display = display
        self.log_path = log_path
        self.log = open(log_path, "wb")
        env = sound_env(display, sound, extra_env, general)
        # In a sanitizer build: no leak reports for system libraries' own.
        env.setdefault("LSAN_OPTIONS", "suppressions=" + os.path.join(
            os.path.dirname(os.path.abspath(__file__)), "lsan.supp"))
        self.proc = subprocess.Popen([binary or harness.program_path()], env=env,
                                     stdout=self.log, stderr=subprocess.STDOUT)
        self.pid = self.proc.pid
        self.window = None

    def wait_window(self, timeout=20.0):
        self.window = self.display.find_window(TITLE, timeout=timeout)
        return self.window

    def origin(self):
        """Screen position of the client area's top-left corner; it moves a
        few pixels at every gear change."""
        return harness.client_origin(self.display, self.window)

    def lever_centre(self, name):
        x, y = self.origin()
        i = LEVERS.index(name)
        return x + 312 + 40 * i + 20, y + 52

    def click_lever(self, name):
        # Where the button stood at start: after many shakes a click may hit
        # a neighbour or nothing, which a random drive accepts.
        x, y = self.lever_centre(name)
        self.display.xdotool("mousemove", x, y, "click", 1)

    def point(self, fx, fy=0.9):
        """Moves the pointer to a point given as a fraction of the client
        area (values outside 0..1 leave the window)."""
        x, y = self.origin()
        self.display.xdotool("mousemove", "--", int(x + fx * CLIENT_W), int(y + fy * CLIENT_H))

    def running(self):
        return self.proc.poll() is None

    def close_with_alt_f4(self, timeout=15.0, attempts=3):
        """Closes the window through the window manager; returns the exit code
        or None if the program did not end (see harness.close_with_alt_f4)."""
        return harness.close_with_alt_f4(self.display, self.window, self.proc, timeout, attempts)

    def stop(self):
        harness.stop(self.proc)
        self.log.close()

    def output(self):
        self.log.flush()
        with open(self.log_path, "rb") as f:
            return f.read().decode("utf-8", "replace")


def left_then_right(program, folder, settle):
    """Takes the pointer from far left (throttle below zero) to far right
    (full throttle), settle seconds after each move; returns the client
    origin and the screenshots taken after each."""
    program.point(-0.5, 1.3)
    time.sleep(settle)
    origin = program.origin()
    left = program.display.screenshot(os.path.join(folder, "left.png"))
    program.point(1.6, 1.3)
    time.sleep(settle)
    return origin, left, program.display.screenshot(os.path.join(folder, "right.png"))


def readout_change(program, folder, settle):
    """Picks N, then revs from idle; returns how many pixels of the engine
    speed readout changed. The box allows for the readout having wandered a
    few pixels with the shakes."""
    program.click_lever("N")
    (x, y), idle, revved = left_then_right(program, folder, settle)
    box = [(x + bx, y + by) for bx in range(80, 190) for by in range(30, 80)]
    return sum(1 for p in box if idle.pixel(*p) != revved.pixel(*p))


def window_change(program, folder, settle):
    """From far left to far right, how many client pixels changed. Clicks
    nothing and assumes no places: after many shakes the controls stand
    anywhere, the dial even over the throttle bar's markers. Throttle below
    zero then above zero changes, in any lever position, the engine or
    road-speed readout or the throttle bar, and only a running tick redraws
    them."""
    (x, y), before, after = left_then_right(program, folder, settle)
    return sum(1 for by in range(CLIENT_H) for bx in range(CLIENT_W)
               if before.pixel(x + bx, y + by) != after.pixel(x + bx, y + by))


def status_kb(pid, key):
    """A memory figure (VmRSS, VmHWM ...) of a process in kB, or None."""
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
    except FileNotFoundError:
        return None
    return None


def cpu_ticks(pid):
    """(state, user + system clock ticks) of a process."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return fields[0], int(fields[11]) + int(fields[12])


other_windows = harness.other_windows


def sanitizer_reports(text):
    markers = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
               "SUMMARY: AddressSanitizer", "SUMMARY: UndefinedBehaviorSanitizer")
    return [line for line in text.splitlines() if any(m in line for m in markers)]


def read_wav(path):
    """(rate, mono samples as floats) of a WAV written by OpenAL Soft's file
    writer (32-bit float or 16-bit PCM, any channel count)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError(f"{path}: not a RIFF/WAVE file")
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        body = data[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            fmt = struct.unpack_from("<HHIIHH", body)
        elif cid == b"data":
            samples = body
        pos += 8 + size + (size & 1)
    if fmt is None or samples is None:
        raise ValueError(f"{path}: no fmt or data chunk")
    tag, channels, rate, _, align, bits = fmt
    if bits == 32 and tag in (3, 0xFFFE):
        values = array.array("f")
    elif bits == 16:
        values = array.array("h")
    else:
        raise ValueError(f"{path}: unsupported format tag {tag} bits {bits}")
    usable = len(samples) - len(samples) % align
    values.frombytes(samples[:usable])
    scale = 1.0 / 32768 if bits == 16 else 1.0
    mono = [values[i] * scale for i in range(0, len(values), channels)]
    return rate, mono


def rms_profile(samples, rate, window_s=0.1):
    """RMS level of each successive window."""
    n = max(1, int(rate * window_s))
    out = []
    for start in range(0, len(samples) - n + 1, n):
        chunk = samples[start:start + n]
        out.append(math.sqrt(sum(v * v for v in chunk) / n))
    return out


def wait_until(predicate, timeout, step=0.1):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def recorded_seconds(path):
    """How many seconds OpenAL Soft's file writer has written so far (it
    writes in real time, so this is the recording's present moment)."""
    with open(path, "rb") as f:
        head = f.read(256)
    fmt = head.find(b"fmt ")
    rate = struct.unpack_from("<I", head, fmt + 12)[0]
    align = struct.unpack_from("<H", head, fmt + 20)[0]
    data = head.find(b"data") + 8
    return max(0, os.path.getsize(path) - data) / align / rate
