#!/usr/bin/env bash
# Measures the idle-driven beat timer in the real program under Xvfb.
#
#   bench/timer-cpu.sh [program]
#
# 1. CPU, as a share of one core, of the program (default build/bin/k58) over
#    K58_BENCH_SECONDS (default 20) seconds while it is the active window with
#    the pointer held right of the window's centre, next to the same while
#    another window is active (the beat timer suspended).
# 2. The beat timer's lateness against its due moments (p50, p99, max; all
#    firings and those outside gear changes) and the tick period (p50, p99),
#    from a run of a timing-trace build: the same sources configured with
#    -DK58_TRACE_TIMING=ON in build-trace/ (made here unless K58_TRACE_PROGRAM
#    names one). Users never get that build.
#
# Reports only: timing figures never make it fail. Sound goes to OpenAL's
# silent null device.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/bin/k58}
seconds=${K58_BENCH_SECONDS:-20}
warmup=${K58_BENCH_WARMUP:-2}
trace_program=${K58_TRACE_PROGRAM:-$root/build-trace/bin/k58}

for tool in Xvfb xdotool xmessage python3; do
    command -v "$tool" >/dev/null || { echo "timer-cpu: needs $tool" >&2; exit 2; }
done
[ -x "$program" ] || { echo "timer-cpu: no program at $program (build it first)" >&2; exit 2; }

work=$(mktemp -d /tmp/k58-timer-bench.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

display_number=150
while [ -e "/tmp/.X11-unix/X$display_number" ] || [ -e "/tmp/.X$display_number-lock" ]; do
    display_number=$((display_number + 1))
done
export DISPLAY=:$display_number
nice -n "${K58_BENCH_NICE:-0}" Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display_number" ] && break; sleep 0.05; done
unset QT_QPA_PLATFORM
export XDG_RUNTIME_DIR=$work ALSOFT_DRIVERS=null

# cpu_ticks PID: user + system clock ticks the process has used.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# The monotonic clock the program's timing trace is stamped with.
monotonic_ns() { python3 -c 'import time; print(time.monotonic_ns())'; }

# run_case PROGRAM MODE [TRACE]: MODE is active or inactive. Prints the CPU
# share of one core over the measured seconds.
run_case() {
    local prog=$1 mode=$2 trace=${3:-}
    K58_TIMING_TRACE=$trace nice -n "${K58_BENCH_NICE:-0}" "$prog" >"$work/$mode.log" 2>&1 &
    local pid=$!
    pids+=("$pid")
    local window=""
    for _ in $(seq 150); do
        window=$(xdotool search --pid "$pid" --onlyvisible --name '^K-58$' 2>/dev/null | head -1)
        [ -n "$window" ] && break
        sleep 0.1
    done
    if [ -z "$window" ]; then
        echo "timer-cpu: the program's window did not appear" >&2
        kill "$pid" 2>/dev/null
        return 1
    fi
    eval "$(xdotool getwindowgeometry --shell "$window")"
    # A quarter of the width right of centre: full throttle.
    xdotool mousemove $((X + WIDTH / 2 + WIDTH / 4)) $((Y + HEIGHT / 2))
    xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
    local other_pid=""
    if [ "$mode" = inactive ]; then
        sleep 0.5
        xmessage -geometry +900+700 "another application" >/dev/null 2>&1 &
        other_pid=$!
        pids+=("$other_pid")
        local other=""
        for _ in $(seq 100); do
            other=$(xdotool search --onlyvisible --name "^xmessage$" 2>/dev/null | head -1)
            [ -n "$other" ] && break
            sleep 0.1
        done
        [ -n "$other" ] && xdotool windowfocus "$other"
        xdotool mousemove $((X + WIDTH / 2 + WIDTH / 4)) $((Y + HEIGHT / 2))
    fi
    sleep "$warmup"
    local ticks_before ticks_after start end
    ticks_before=$(cpu_ticks "$pid")
    start=$(date +%s.%N)
    monotonic_ns >"$work/$mode.span"
    sleep "$seconds"
    ticks_after=$(cpu_ticks "$pid")
    end=$(date +%s.%N)
    monotonic_ns >>"$work/$mode.span"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    [ -n "$other_pid" ] && { kill "$other_pid" 2>/dev/null; wait "$other_pid" 2>/dev/null; }
    python3 -c "print(f'{($ticks_after - $ticks_before) / $(getconf CLK_TCK) / ($end - $start) * 100:.1f}')"
}

echo "== CPU of $program over ${seconds} s under Xvfb (share of one core)"
active=$(run_case "$program" active)
inactive=$(run_case "$program" inactive)
echo "active, pointer right of centre:  ${active:-?} %"
echo "another window active (suspended): ${inactive:-?} %"
python3 - "$active" "$inactive" <<'EOF'
import sys
try:
    active, inactive = float(sys.argv[1]), float(sys.argv[2])
    print(f"ratio active/suspended: {active / max(inactive, 0.1):.2f} (target at most 1.5)")
except ValueError:
    print("ratio active/suspended: not measured")
EOF

if [ ! -x "$trace_program" ] && [ -z "${K58_TRACE_PROGRAM:-}" ]; then
    echo "== building the timing-trace build in build-trace/"
    cmake -S "$root" -B "$root/build-trace" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DK58_TRACE_TIMING=ON \
        -DK58_BUILD_TESTS=OFF -DK58_BUILD_BENCH=OFF >/dev/null &&
        cmake --build "$root/build-trace" --target k58 k58_dsound -j"$(nproc)" >/dev/null
fi
if [ ! -x "$trace_program" ]; then
    echo "timer-cpu: no timing-trace build; lateness and tick period not measured"
    exit 0
fi

echo "== beat timer lateness and tick period over ${seconds} s (timing-trace build)"
run_case "$trace_program" active "$work/trace.txt" >/dev/null
# K58_BENCH_TRACE_OUT=<file> keeps the raw trace for a closer look.
[ -n "${K58_BENCH_TRACE_OUT:-}" ] && cp "$work/trace.txt" "$K58_BENCH_TRACE_OUT"
K58_BENCH_DIR="$root/bench" python3 - "$work/trace.txt" "$work/active.span" <<'EOF'
import math
import os
import sys
sys.path.insert(0, os.environ["K58_BENCH_DIR"])
import tracekit

# Only what happened between the end of the warm-up and the end of the
# measured seconds counts; start-up stalls are not the timer's.
begin, end = (int(line) for line in open(sys.argv[2]))
firings, writes, pumps, handler_ms = [], [], [], []
for line in open(sys.argv[1]):
    kind, t, a, b, c = line.split()
    t, a, b, c = int(t), int(a), int(b), int(c)
    if kind == "I":
        writes.append((t, max(a, 0)))     # moment, interval stored
    if not begin <= t <= end:
        continue
    if kind == "F":
        firings.append((t, a, b, c))      # moment, clock ms, elapsed ms, interval ms
    elif kind == "f" and firings:
        handler_ms.append((t - firings[-1][0]) / 1e6)
    elif kind in "Pp":
        pumps.append(t)

spans = tracekit.gear_change_spans(pumps)
def in_gear_change(a, b):
    return any(a <= hi and lo <= b for lo, hi in spans)

def pct(values, p):
    if not values:
        return float("nan")
    s = sorted(values)
    return s[min(len(s) - 1, max(0, math.ceil(p / 100 * len(s)) - 1))]

# A tick may write the interval more than once (a raw value, then its
# limit); writes less than a millisecond apart are one tick, and the value
# it leaves is the last.
ticks = []
for t, value in writes:
    if ticks and t - ticks[-1][2] < 1_000_000:
        ticks[-1][1:] = [value, t]
    else:
        ticks.append([t, value, t])

# The ticks at which the interval was lowered: an interval that has already
# passed when it is lowered makes the firing due at that tick, not before.
changes, last = [], None
for t, value, _ in ticks:
    if last is not None and value < last:
        changes.append(t)
    last = value

tick_moments = [t for t, _, _ in ticks]
late_all, late_quiet, late_free, ci = [], [], [], 0
for t, now, elapsed, interval in firings:
    ms = t // 1_000_000
    behind = (ms - now) % (1 << 32)       # milliseconds the trace came after the clock read
    due = (ms - behind - elapsed + interval) * 1_000_000
    while ci < len(changes) and changes[ci] <= t:
        ci += 1
    if ci > 0:
        due = max(due, changes[ci - 1])
    lateness = (t - due) / 1e6
    late_all.append(lateness)
    if not in_gear_change(due, t):
        late_quiet.append(lateness)
        # Firings whose due moment met no tick: the loop's own promptness.
        if not any(due <= w <= t for w in tick_moments):
            late_free.append(lateness)

# Every tick writes the beat interval, so the writes time the ticks.
periods_all, periods_quiet = [], []
moments = [t for t, _, _ in ticks if begin <= t <= end]
for t0, t1 in zip(moments, moments[1:]):
    period = (t1 - t0) / 1e6
    periods_all.append(period)
    if not in_gear_change(t0, t1):
        periods_quiet.append(period)

def show(name, values):
    print(f"{name}: n={len(values)} p50={pct(values, 50):.3f} ms p99={pct(values, 99):.3f} ms "
          f"max={max(values) if values else float('nan'):.3f} ms")

print(f"firings: {len(firings)}; gear changes (bursts of message pumping): {len(spans)}; "
      f"load average: {open('/proc/loadavg').read().split()[0]}")
show("beat lateness, all firings         ", late_all)
show("beat lateness, outside gear changes", late_quiet)
print("  (target: p99 at most 1 ms outside gear changes)")
show("beat lateness, no tick at due time ", late_free)
show("beat handler run time              ", handler_ms)
show("tick period, all ticks             ", periods_all)
show("tick period, outside gear changes  ", periods_quiet)
EOF
exit 0
