"""The Windows build under Wine: prints a markdown table of
  - CPU (share of one core) of k58.exe, of the wineserver and of the
    PulseAudio server it plays into, over K58_BENCH_SECONDS (default 10)
    while its window is active with the pointer right of centre, while
    another window is active (the beat timer suspended), and active with no
    sound server at all;
  - the tick period (p50, p99, max; all ticks and those outside gear
    changes), from a run of a timing-trace Windows build (build-windows-trace/,
    made here on first use, or --trace-exe);
  - SetFrequency to pitch change in the recording of the mix (parec of a
    PulseAudio null sink), from tests/wine/SoundFigures.cpp.
Each run is on a private Xvfb with openbox, in a Wine prefix of its own
made for the run. Reports only; it never fails on a figure.

  python3 bench/wine-bench.py [--build build-windows] [--trace-exe EXE] [--changes 24]
"""

import argparse
import math
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "wine"))
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import pulsekit  # noqa: E402
import tracekit  # noqa: E402
import winekit  # noqa: E402
sys.path.insert(0, str(ROOT / "tests" / "soak"))
import soakkit  # noqa: E402

WARMUP = 2.0
TICK = os.sysconf("SC_CLK_TCK")


def load():
    return open("/proc/loadavg").read().split()[0]


def wineserver_pid(prefix):
    """The wineserver of a prefix: it works in a folder named after the
    prefix's device and inode."""
    st = os.stat(prefix)
    folder = f"server-{st.st_dev:x}-{st.st_ino:x}"
    for entry in pathlib.Path("/proc").iterdir():
        try:
            if entry.name.isdigit() and (entry / "comm").read_text().startswith("wineserver") \
                    and os.readlink(entry / "cwd").endswith("/" + folder):
                return int(entry.name)
        except OSError:
            continue
    return None


def cpu(pids):
    return {name: soakkit.cpu_ticks(pid)[1] for name, pid in pids.items() if pid}


def run_case(exe, prefix, seconds, inactive=False, trace=None, sound=True):
    """CPU % of one core of k58.exe, the wineserver and pulseaudio while
    the window is active (or another one is); without sound, no server is
    reachable and DirectSound finds no device."""
    folder = tempfile.mkdtemp(prefix="k58-wine-bench-")
    server = pulsekit.PulseServer() if sound else None
    other = None
    try:
        with winekit.Display() as display:
            display.start_window_manager()
            extra = {"K58_TIMING_TRACE": "Z:" + trace.replace("/", "\\")} if trace else {}
            run = winekit.Program(display, os.path.join(folder, "log"), sound=server, exe=exe,
                                  extra_env=extra)
            if not run.wait_window(timeout=30):
                run.stop()
                raise RuntimeError("no window titled K-58")
            run.point(0.75, 0.5)  # a quarter of the width right of centre
            if inactive:
                time.sleep(0.5)
                other = subprocess.Popen(["xmessage", "-geometry", "+700+600", "another window"],
                                         env=display.env(), stdout=subprocess.DEVNULL,
                                         stderr=subprocess.DEVNULL)
                box = display.find_window("xmessage")
                if box:
                    display.xdotool("windowfocus", box, check=False)
                run.point(0.75, 0.5)
            time.sleep(WARMUP)
            pids = {"k58.exe": run.pid, "wineserver": wineserver_pid(prefix),
                    "pulseaudio": server.proc.pid if server else None}
            before, began = cpu(pids), time.monotonic()
            time.sleep(seconds)
            after, span = cpu(pids), time.monotonic() - began
            comm = pathlib.Path(f"/proc/{run.pid}/comm").read_text().strip()
            if other:
                other.kill()
                other.wait()
            run.stop()
    finally:
        if server:
            server.close()
        shutil.rmtree(folder, ignore_errors=True)
    figures = {name: (after[name] - before[name]) / TICK / span * 100 for name in after}
    return figures, comm


def pct(values, p):
    s = sorted(values)
    return s[min(len(s) - 1, max(0, math.ceil(p / 100 * len(s)) - 1))]


def tick_periods(trace_path, seconds):
    """Tick periods (ms) from a timing trace, all and outside gear changes.
    A tick writes the beat interval once or twice (the raw value, then its
    limit); writes less than a millisecond apart are one tick. A gear change
    pumps messages in bursts; a burst with 50 ms either side is a span in
    which the loop is held."""
    writes, pumps = [], []
    for line in open(trace_path):
        kind, t = line.split()[:2]
        if kind == "I":
            writes.append(int(t))
        elif kind in "Pp":
            pumps.append(int(t))
    if not writes:
        return None
    # The measured seconds: after the warm-up, as the CPU cases count them.
    begin = writes[0] + int(WARMUP * 1e9)
    end = begin + int(seconds * 1e9)
    ticks = []
    for t in writes:
        if not ticks or t - ticks[-1][1] >= 1_000_000:
            ticks.append([t, t])
        else:
            ticks[-1][1] = t
    starts = [a for a, _ in ticks if begin <= a <= end]
    spans = tracekit.gear_change_spans(pumps)
    every, quiet = [], []
    for a, b in zip(starts, starts[1:]):
        every.append((b - a) / 1e6)
        if not any(a <= hi and lo <= b for lo, hi in spans):
            quiet.append((b - a) / 1e6)

    def text(values):
        if not values:
            return "n/a"
        return (f"n={len(values)} p50={pct(values, 50):.3f} ms p99={pct(values, 99):.3f} ms "
                f"max={max(values):.3f} ms")

    return text(every), text(quiet)


def crossings(samples, rate, start):
    """Times (s) of the zero crossings from sample start on, interpolated."""
    out = []
    for i in range(max(1, start), len(samples)):
        a, b = samples[i - 1], samples[i]
        if (a < 0.0) != (b < 0.0) and a != b:
            out.append((i - 1 + a / (a - b)) / rate)
    return out


def heard(samples, rate, at, shorter, mid):
    """The first moment from at on where the tone's half periods turn
    shorter (or longer) than mid, two in a row; None if they never do."""
    times = crossings(samples, rate, int(at * rate))[:2000]
    for k in range(len(times) - 2):
        d1, d2 = times[k + 1] - times[k], times[k + 2] - times[k + 1]
        if (d1 < mid and d2 < mid) if shorter else (d1 > mid and d2 > mid):
            return times[k]
    return None


def set_frequency_delay(figures_exe, prefix, changes):
    folder = tempfile.mkdtemp(prefix="k58-wine-bench-")
    server = pulsekit.PulseServer()
    try:
        raw = os.path.join(folder, "tone.raw")
        recorder = server.record(raw)
        out = winekit.wine(figures_exe, "Z:" + raw.replace("/", "\\"), changes, prefix=prefix,
                           env=winekit.environment(prefix, **server.client_env()),
                           capture_output=True, text=True, timeout=120)
        recorder.stop()
        if out.returncode != 0:
            return f"n/a (wine_sound_figures: {out.returncode} {out.stderr.strip()[-200:]})"
        rate, samples = pulsekit.read_raw(raw)
    finally:
        server.close()
    mid = 0.75 / (2 * 440.0)
    delays = []
    for line in out.stdout.splitlines():
        _, at, hertz = line.split()
        at = float(at)
        found = heard(samples, rate, at - 0.04, int(hertz) > 440, mid)
        if found is not None:
            delays.append((found - at) * 1000)
    shutil.rmtree(folder, ignore_errors=True)
    if not delays:
        return "n/a (no change found)"
    return (f"p50 {pct(delays, 50):.1f} ms, p99 {pct(delays, 99):.1f} ms ({len(delays)} changes; "
            f"min {min(delays):.1f}, max {max(delays):.1f})")


def trace_build(build, trace_exe):
    if trace_exe:
        return trace_exe if os.path.exists(trace_exe) else None
    trace_dir = ROOT / "build-windows-trace"
    exe = trace_dir / "bin" / "k58.exe"
    if not exe.exists():
        print("== building the timing-trace Windows build in build-windows-trace/", file=sys.stderr)
        made = subprocess.run(
            ["cmake", "-S", str(ROOT), "-B", str(trace_dir),
             f"-DCMAKE_TOOLCHAIN_FILE={ROOT / 'cmake' / 'mingw-w64-x86_64.cmake'}",
             "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DK58_TRACE_TIMING=ON", "-DK58_BUILD_TESTS=OFF"],
            stdout=subprocess.DEVNULL)
        if made.returncode == 0:
            subprocess.run(["cmake", "--build", str(trace_dir), "--target", "k58", "-j2"],
                           stdout=subprocess.DEVNULL)
    return str(exe) if exe.exists() else None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=str(ROOT / "build-windows"))
    parser.add_argument("--trace-exe")
    parser.add_argument("--changes", type=int, default=24)
    args = parser.parse_args()
    seconds = float(os.environ.get("K58_BENCH_SECONDS", "10"))
    exe = os.path.join(args.build, "bin", "k58.exe")
    figures_exe = os.path.join(args.build, "bin", "wine_sound_figures.exe")
    trace_exe = trace_build(args.build, args.trace_exe)

    prefix = tempfile.mkdtemp(prefix="k58-wine-bench-prefix-")
    rows = [("load average before", load())]
    try:
        print("== making a Wine prefix", file=sys.stderr)
        winekit.make_prefix(prefix)
        os.environ["WINEPREFIX"] = prefix
        for label, inactive, sound in (
                ("window active, pointer right of centre", False, True),
                ("another window active (beat timer suspended)", True, True),
                ("window active, no sound server (no device)", False, False)):
            print(f"== CPU, {label}, {seconds:.0f} s", file=sys.stderr)
            figures, comm = run_case(exe, prefix, seconds, inactive, sound=sound)
            parts = " + ".join(f"{name} {value:.1f} %" for name, value in figures.items())
            rows.append((f"CPU, share of one core, {label}",
                         f"{sum(figures.values()):.1f} % ({parts}; the program's process: {comm})"))
        if trace_exe:
            print(f"== tick period, {seconds:.0f} s (timing-trace build)", file=sys.stderr)
            trace = os.path.join(tempfile.mkdtemp(prefix="k58-wine-trace-"), "trace.txt")
            run_case(trace_exe, prefix, seconds, trace=trace)
            periods = tick_periods(trace, seconds)
            every, quiet = periods if periods else ("n/a (empty trace)",) * 2
            rows.append(("tick period, all ticks", every))
            rows.append(("tick period, outside gear changes", quiet))
        else:
            rows.append(("tick period", "n/a (no timing-trace build)"))
        if os.path.exists(figures_exe):
            print(f"== SetFrequency to pitch change, {args.changes} changes", file=sys.stderr)
            rows.append(("SetFrequency to pitch change, through Wine's DirectSound and PulseAudio "
                         "(null sink, recorded with parec)",
                         set_frequency_delay(figures_exe, prefix, args.changes)))
        else:
            rows.append(("SetFrequency to pitch change", f"n/a (no {figures_exe})"))
    finally:
        winekit.stop(prefix)
        shutil.rmtree(prefix, ignore_errors=True)
    rows.append(("load average after", load()))
    print("| Measure (k58.exe under Wine) | Value |")
    print("|---|---|")
    for name, value in rows:
        print(f"| {name} | {value} |")


if __name__ == "__main__":
    main()
