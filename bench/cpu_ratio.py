"""K-58's CPU against the least a Qt Widgets program needs for the same screen
work (bench/MinimalScreen.cpp), measured in the same run.

Each round starts a fresh Xvfb for each program in turn, makes its window the
active one, puts the pointer right of the window (K-58 in N at full throttle,
so a beat is due every 70 ms and the beat timer runs), waits a warm-up and
then counts the CPU time of the program and of the X server over the
measured seconds. K-58's sound goes to OpenAL Soft's silent output with the
mixing period asked for. Prints each round and the median ratio.

  python3 bench/cpu_ratio.py --program build/bin/k58 --minimal build/bin/k58_minimal_screen \\
      [--period 256] [--rounds 3] [--seconds 10] [--silent]
Reports only; it never fails on a figure.
"""

import argparse
import os
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "soak"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import soakkit  # noqa: E402
import harness  # noqa: E402

WARMUP = 2.0


def measure(program, title, period, seconds, folder, k58, silent=False):
    """CPU % of one core of the program and of the X server. silent: no
    sound device at all (OpenAL finds no backend), so no mixing."""
    with harness.Display() as display:
        log = os.path.join(folder, "log")
        if silent:
            run = harness.Program(display, log, binary=program, sound=None,
                                  extra_env={"ALSOFT_DRIVERS": "none"})
        else:
            run = harness.Program(display, log, binary=program, sound="null",
                                  general=f"period_size = {period}")
        run.window = display.find_window(title, timeout=20)
        if not run.window:
            run.stop()
            raise RuntimeError(f"no window titled {title}")
        display.xdotool("windowfocus", "--sync", run.window, check=False)
        if k58:
            run.click_lever("N")
        run.point(1.6, 1.3)
        time.sleep(WARMUP)
        _, prog_before = soakkit.cpu_ticks(run.pid)
        _, server_before = soakkit.cpu_ticks(display.proc.pid)
        began = time.monotonic()
        time.sleep(seconds)
        _, prog_after = soakkit.cpu_ticks(run.pid)
        _, server_after = soakkit.cpu_ticks(display.proc.pid)
        span = time.monotonic() - began
        run.stop()
    tick = os.sysconf("SC_CLK_TCK")
    return ((prog_after - prog_before) / tick / span * 100,
            (server_after - server_before) / tick / span * 100)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--minimal", required=True)
    parser.add_argument("--period", type=int, default=256)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("--silent", action="store_true",
                        help="run K-58 without a sound device, to see the screen's share alone")
    args = parser.parse_args()
    folder = tempfile.mkdtemp(prefix="k58-cpu-ratio-")
    print(f"load average before: {open('/proc/loadavg').read().strip()}", flush=True)
    ratios = []
    for round_number in range(1, args.rounds + 1):
        k58, k58_server = measure(args.program, "K-58", args.period, args.seconds, folder, True,
                                  args.silent)
        minimal, minimal_server = measure(args.minimal, "K-58 minimal screen", args.period,
                                          args.seconds, folder, False)
        ratio = (k58 + k58_server) / max(minimal + minimal_server, 0.1)
        ratios.append(ratio)
        print(f"round {round_number}: k58 {k58:.1f} % + X server {k58_server:.1f} %; "
              f"minimal {minimal:.1f} % + X server {minimal_server:.1f} %; ratio {ratio:.2f}",
              flush=True)
    what = "no sound device" if args.silent else f"period {args.period} frames"
    print(f"{what}: median ratio {statistics.median(ratios):.2f} "
          f"(target at most 1.2)")
    print(f"load average after: {open('/proc/loadavg').read().strip()}")


if __name__ == "__main__":
    main()
