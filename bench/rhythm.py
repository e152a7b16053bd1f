"""The engine beat's rhythm as the user hears it, from a recording of the mix.

For each OpenAL Soft mixing period asked for (period_size, in frames, given
through a user configuration, which wins over the program's own), the real
program runs under Xvfb with its sound recorded by OpenAL Soft's file writer,
held in N at full throttle (a beat due every 70 ms) and then at idle (every
250 ms). bench/BeatRhythm.cpp finds every beat's onset in the recording with
a matched filter (the whole carried beat) and reports how far the intervals
between onsets are from the timer's interval. The program's CPU share over
the same seconds is the period's cost. Prints a markdown table.

  python3 bench/rhythm.py --program build/bin/k58 --analyser build/bin/k58_beat_rhythm \\
      [--periods 256,128,64] [--seconds 20]
Reports only; it never fails on a figure.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "soak"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import soakkit  # noqa: E402
import harness  # noqa: E402

WARMUP = 2.0
# (beat interval in ms, where the pointer is held as a fraction of the client width)
CASES = ((70, 1.6), (250, -0.5))


def record(program, period, interval, pointer_x, seconds, folder):
    """Runs one case; returns (recording path, seconds of it to skip, CPU %)."""
    wav = os.path.join(folder, f"p{period}-i{interval}.wav")
    with harness.Display() as display:
        run = harness.Program(display, os.path.join(folder, "log"), binary=program, sound=wav,
                              general=f"period_size = {period}")
        if not run.wait_window():
            run.stop()
            raise RuntimeError("the program's window did not appear")
        # The beat timer runs only while the window is the active one.
        display.xdotool("windowfocus", "--sync", run.window, check=False)
        run.click_lever("N")
        run.point(pointer_x, 1.3)
        time.sleep(WARMUP)
        skip = harness.recorded_seconds(wav)
        _, before = soakkit.cpu_ticks(run.pid)
        began = time.monotonic()
        time.sleep(seconds)
        _, after = soakkit.cpu_ticks(run.pid)
        cpu = (after - before) / os.sysconf("SC_CLK_TCK") / (time.monotonic() - began) * 100
        run.stop()
    return wav, skip, cpu


def analyse(analyser, wav, interval, skip):
    out = subprocess.run([analyser, wav, str(interval), f"{skip:.3f}"], capture_output=True,
                         text=True, check=True).stdout
    return dict(line.split("\t", 1) for line in out.splitlines() if "\t" in line)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--analyser", required=True)
    parser.add_argument("--periods", default="256,128,64")
    parser.add_argument("--seconds", type=float, default=20.0)
    args = parser.parse_args()
    os.environ["K58_BINARY"] = args.program
    folder = tempfile.mkdtemp(prefix="k58-rhythm-")
    print(f"load average before: {open('/proc/loadavg').read().strip()}", flush=True)
    print("| period (frames) | beat interval | beats | interval off by (ms) | gaps | k58 CPU |")
    print("|---|---|---|---|---|---|")
    for period in (int(p) for p in args.periods.split(",")):
        for interval, pointer_x in CASES:
            # Fewer beats come at 250 ms: record longer to have as many.
            seconds = args.seconds * (2 if interval > 100 else 1)
            wav, skip, cpu = record(args.program, period, interval, pointer_x, seconds, folder)
            found = analyse(args.analyser, wav, interval, skip)
            print(f"| {period} | {interval} ms | {found.get('beats', '?')} | "
                  f"{found.get('deviation_ms', '?')} | {found.get('gaps', '?')} | {cpu:.1f} % |",
                  flush=True)
            os.remove(wav)
    print(f"load average after: {open('/proc/loadavg').read().strip()}")


if __name__ == "__main__":
    main()
