"""Measures the running program under Xvfb and prints "name<TAB>value" lines:
  start_to_window_ms   process start to its window being mapped
  start_to_first_tick_ms  process start to the first tick (needs a timing-trace
                       build: --trace-program)
  peak_rss_kb          VmHWM after a drive through a gear change
  pitch_delay_ms       pointer move to the engine tone's pitch change in the
                       recorded sound (median and spread of several moves)
Reports only; it never fails on a figure.

  python3 bench/measure.py --program build/bin/k58 [--trace-program build-trace/bin/k58]
"""

import argparse
import cmath
import math
import os
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "soak"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import soakkit  # noqa: E402
import harness  # noqa: E402
import soundkit  # noqa: E402


def report(name, value):
    print(f"{name}\t{value}", flush=True)


def start_times(program, trace_program, runs=3):
    """Start to window, and (with the trace build) start to the first tick."""
    window_ms, tick_ms = [], []
    for _ in range(runs):
        with harness.Display() as display:
            tmp = tempfile.mkdtemp(prefix="k58-measure-")
            trace = os.path.join(tmp, "trace.txt")
            binary = trace_program or program
            began = time.monotonic_ns()
            run = harness.Program(display, os.path.join(tmp, "log"), binary=binary,
                                  extra_env={"K58_TIMING_TRACE": trace})
            if run.wait_window(timeout=30):
                window_ms.append((time.monotonic_ns() - began) / 1e6)
            time.sleep(1.0)
            run.stop()
            if trace_program and os.path.exists(trace):
                for line in open(trace):
                    kind, at, value = line.split()[:3]
                    # The first interval written by a tick (ticks keep it in 70..420).
                    if kind == "I" and 0 <= int(value) <= 420:
                        tick_ms.append((int(at) - began) / 1e6)
                        break
    report("start_to_window_ms", f"{statistics.median(window_ms):.0f}" if window_ms else "n/a")
    report("start_to_first_tick_ms",
           f"{statistics.median(tick_ms):.0f}" if tick_ms else "n/a (no timing-trace build)")


def peak_memory(program):
    """VmHWM after a drive with an upshift and a shift down."""
    with harness.Display() as display:
        tmp = tempfile.mkdtemp(prefix="k58-measure-")
        run = harness.Program(display, os.path.join(tmp, "log"), binary=program,
                              sound=os.path.join(tmp, "drive.wav"))
        run.wait_window()
        display.xdotool("windowfocus", run.window, check=False)
        run.click_lever("A")
        run.point(1.6, 1.3)
        time.sleep(6.0)
        run.click_lever("I")
        run.point(1.6, 1.3)
        time.sleep(1.0)
        hwm = soakkit.status_kb(run.pid, "VmHWM")
        run.stop()
    report("peak_rss_kb", hwm if hwm is not None else "n/a")


# --- pitch change in the recording ----------------------------------------------

FFT_N = 4096  # 93 ms at 44.1 kHz: fine enough in frequency for the tone's low harmonics
HANN = [0.5 - 0.5 * math.cos(2 * math.pi * i / FFT_N) for i in range(FFT_N)]


def fft(x):
    n = len(x)
    if n == 1:
        return x
    even, odd = fft(x[0::2]), fft(x[1::2])
    twiddled = [cmath.exp(-2j * math.pi * k / n) * odd[k] for k in range(n // 2)]
    return [even[k] + twiddled[k] for k in range(n // 2)] + \
        [even[k] - twiddled[k] for k in range(n // 2)]


def low_spectrum(samples, centre):
    """Normalised magnitudes of the bins up to about 420 Hz, where the engine
    tone's harmonics lie, of the window centred on a sample."""
    seg = samples[centre - FFT_N // 2:centre + FFT_N // 2]
    mags = [abs(v) for v in fft([complex(a * w) for a, w in zip(seg, HANN)])[1:40]]
    total = sum(mags) or 1e-9
    return [m / total for m in mags]


def change_curve(samples, rate, mark):
    """For windows from 100 ms before to 250 ms after the sample at mark, 4 ms
    apart: where the low spectrum lies between the one before the mark (0)
    and the one after it (1)."""
    def at(seconds):
        return low_spectrum(samples, mark + int(rate * seconds))

    def mean(specs):
        return [sum(v) / len(specs) for v in zip(*specs)]

    def dist(a, b):
        return sum((x - y) ** 2 for x, y in zip(a, b))

    before = mean([at(-t) for t in (0.6, 0.5, 0.4, 0.3, 0.2)])
    after = mean([at(t) for t in (0.3, 0.4, 0.5, 0.6, 0.7)])
    span = dist(before, after) or 1e-12
    curve = []
    for offset in range(-int(rate * 0.1), int(rate * 0.25), int(rate * 0.004)):
        spec = low_spectrum(samples, mark + offset)
        curve.append((offset / rate * 1000,
                      0.5 + (dist(spec, before) - dist(spec, after)) / (2 * span)))
    return curve


def crossing(curve):
    """The first moment from which the curve stays above one half for 40 ms."""
    for i in range(len(curve) - 10):
        if all(v > 0.5 for _, v in curve[i:i + 10]):
            return curve[i][0]
    return None


def pitch_delay(program, moves=8):
    """In N, the pointer jumps from far left (engine 500) to far right
    (engine 1400); the recording's position at the move is read from the
    size of the file being written (OpenAL Soft's file writer writes in real
    time)."""
    with harness.Display() as display:
        tmp = tempfile.mkdtemp(prefix="k58-measure-")
        wav = os.path.join(tmp, "pitch.wav")
        run = harness.Program(display, os.path.join(tmp, "log"), binary=program, sound=wav,
                              general="period_size = 256")
        run.wait_window()
        time.sleep(1.0)
        run.click_lever("N")
        marks = []
        for _ in range(moves):
            run.point(-0.5, 1.3)
            time.sleep(1.2)
            before = os.path.getsize(wav)
            run.point(1.6, 1.3)
            marks.append((before + os.path.getsize(wav)) // 2)
            time.sleep(1.0)
        run.stop()
    rate, samples = soundkit.read_recording(wav)
    # Bytes to frames: after the header, block-align bytes a frame.
    with open(wav, "rb") as f:
        head = f.read(256)
    header = head.find(b"data") + 8
    frame_bytes = int.from_bytes(head[head.find(b"fmt ") + 20:head.find(b"fmt ") + 22], "little")
    curves = [change_curve(samples, rate, (m - header) // frame_bytes) for m in marks]
    # The beats and the rumble blur single moves; their average is steady.
    average = [(c[0][0], statistics.mean(v for _, v in c)) for c in zip(*curves)]
    each = [d for d in (crossing(c) for c in curves) if d is not None]
    delay = crossing(average)
    if delay is not None:
        report("pitch_delay_ms", f"{delay:.0f} (average of {len(curves)} moves; single moves "
                                 f"{min(each):.0f} to {max(each):.0f}; windows of 93 ms)")
    else:
        report("pitch_delay_ms", "n/a (no change found)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--trace-program")
    args = parser.parse_args()
    os.environ["K58_BINARY"] = args.program
    trace = args.trace_program if args.trace_program and os.path.exists(args.trace_program) else None
    start_times(args.program, trace)
    peak_memory(args.program)
    pitch_delay(args.program)


if __name__ == "__main__":
    main()
