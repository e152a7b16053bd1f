"""What moving the pointer costs the program: its CPU while the pointer is
moved through XTest at a fixed rate, against the same program with the
pointer still, in one run.

For each program in turn: a fresh Xvfb, the program's window active, the
lever at N and the pointer right of the window (full throttle, so the tick,
the drawing and the beat timer all run), a warm-up, then alternately a span
with the pointer still and a span with it moved by one pixel to and fro at
the given rate (relative XTest motions, as a mouse's reports arrive), each
span the given seconds. Sound goes to OpenAL Soft's silent output.

  python3 bench/pointer_cpu.py [--rate 1000] [--seconds 10] [--rounds 2] \\
      build/bin/k58 [other/bin/k58 ...]
Reports only; it never fails on a figure.
"""

import argparse
import ctypes
import os
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "soak"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import soakkit  # noqa: E402
import harness  # noqa: E402

WARMUP = 2.0


def move_pointer(display_name, rate, seconds):
    """Sends rate relative motions a second for the given seconds; returns
    how many were sent."""
    xlib = ctypes.CDLL("libX11.so.6")
    xtst = ctypes.CDLL("libXtst.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XFlush.argtypes = [ctypes.c_void_p]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    xtst.XTestFakeRelativeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_ulong]
    display = xlib.XOpenDisplay(display_name.encode())
    period = 1.0 / rate
    began = time.perf_counter()
    sent = 0
    while True:
        due = began + sent * period
        now = time.perf_counter()
        if now - began >= seconds:
            break
        if due > now:
            time.sleep(due - now)
        xtst.XTestFakeRelativeMotionEvent(display, 1 if sent % 2 == 0 else -1, 0, 0)
        xlib.XFlush(display)
        sent += 1
    xlib.XCloseDisplay(display)
    return sent


def span(run, display, seconds, rate=None):
    """CPU % of one core of the program and of the X server over one span;
    with rate, the pointer moves at that rate meanwhile."""
    result = {}
    mover = None
    if rate:
        mover = threading.Thread(
            target=lambda: result.update(sent=move_pointer(display.name, rate, seconds)))
    _, prog_before = soakkit.cpu_ticks(run.pid)
    _, server_before = soakkit.cpu_ticks(display.proc.pid)
    began = time.monotonic()
    if mover:
        mover.start()
        mover.join()
    else:
        time.sleep(seconds)
    _, prog_after = soakkit.cpu_ticks(run.pid)
    _, server_after = soakkit.cpu_ticks(display.proc.pid)
    took = time.monotonic() - began
    tick = os.sysconf("SC_CLK_TCK")
    return ((prog_after - prog_before) / tick / took * 100,
            (server_after - server_before) / tick / took * 100, result.get("sent", 0) / took)


def measure(program, rate, seconds, rounds, folder):
    with harness.Display() as display:
        run = harness.Program(display, os.path.join(folder, "log"), binary=program, sound="null")
        run.window = display.find_window(harness.TITLE, timeout=20)
        if not run.window:
            run.stop()
            raise RuntimeError("no K-58 window")
        display.xdotool("windowfocus", "--sync", run.window, check=False)
        run.click_lever("N")
        run.point(1.6, 1.3)
        time.sleep(WARMUP)
        still, moved = [], []
        for _ in range(rounds):
            still.append(span(run, display, seconds))
            moved.append(span(run, display, seconds, rate))
        run.stop()
    return still, moved


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("programs", nargs="+")
    parser.add_argument("--rate", type=int, default=1000, help="pointer motions a second")
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("--rounds", type=int, default=2)
    args = parser.parse_args()
    folder = os.path.join("/tmp", f"k58-pointer-cpu-{os.getpid()}")
    os.makedirs(folder, exist_ok=True)
    print(f"load average before: {open('/proc/loadavg').read().strip()}", flush=True)
    for program in args.programs:
        still, moved = measure(program, args.rate, args.seconds, args.rounds, folder)
        k_still = sum(s[0] for s in still) / len(still)
        k_moved = sum(m[0] for m in moved) / len(moved)
        x_still = sum(s[1] for s in still) / len(still)
        x_moved = sum(m[1] for m in moved) / len(moved)
        rate = sum(m[2] for m in moved) / len(moved)
        print(f"{program}: pointer still {k_still:.1f} % (X server {x_still:.1f} %); "
              f"moved at {rate:.0f}/s {k_moved:.1f} % (X server {x_moved:.1f} %); "
              f"ratio {k_moved / max(k_still, 0.1):.2f} (target at most 1.1)", flush=True)
        for i, (s, m) in enumerate(zip(still, moved), 1):
            print(f"  round {i}: still {s[0]:.1f} %, moved {m[0]:.1f} % ({m[2]:.0f}/s)")
    print(f"load average after: {open('/proc/loadavg').read().strip()}")


if __name__ == "__main__":
    main()
