#!/usr/bin/env bash
# Runs every performance measurement and prints one table (markdown):
#   1. the component benchmarks (k58_bench, Google Benchmark);
#   2. bench/timer-cpu.sh: CPU share active and suspended, beat timer
#      lateness and tick period (the latter two from a timing-trace build);
#   3. bench/measure.py: start-up, peak memory, pointer-to-pitch delay;
#   4. bench/rhythm.py: the beat's rhythm in the recorded mix, per mixing
#      period (K58_BENCH_PERIODS, default 256,96);
#   5. bench/cpu_ratio.py: K-58's CPU against a minimal Qt program doing
#      the same screen work, at the same periods.
#   6. bench/wine-bench.py: the Windows build under Wine, when build-windows/
#      holds it.
#   usage: bench/run-all.sh [build-dir]     (default build/)
# Reports only: no figure makes it fail.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work=$(mktemp -d /tmp/k58-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
export K58_BENCH_SECONDS=${K58_BENCH_SECONDS:-10}

echo "== building k58, its sound module and the benchmarks in $build" >&2
cmake --build "$build" --target k58 k58_dsound k58_bench k58_beat_rhythm k58_minimal_screen \
    -j"$(nproc)" >/dev/null || exit 1
periods=${K58_BENCH_PERIODS:-256,96}

echo "== component benchmarks" >&2
"$build/bin/k58_bench" --benchmark_min_time=0.5 --benchmark_out="$work/bench.json" \
    --benchmark_out_format=json >&2
echo "== timer and CPU (bench/timer-cpu.sh, ${K58_BENCH_SECONDS} s a case)" >&2
bash "$root/bench/timer-cpu.sh" "$build/bin/k58" | tee "$work/timer.txt" >&2
echo "== running program (bench/measure.py)" >&2
python3 -W ignore "$root/bench/measure.py" --program "$build/bin/k58" \
    --trace-program "${K58_TRACE_PROGRAM:-$root/build-trace/bin/k58}" | tee "$work/measure.txt" >&2

python3 - "$work" <<'PY'
import json
import re
import sys

work = sys.argv[1]
rows = []
bench = json.load(open(f"{work}/bench.json"))
for b in bench["benchmarks"]:
    if b.get("run_type", "iteration") != "iteration":
        continue
    unit = b.get("time_unit", "ns")
    rows.append((f"{b['name']} (CPU time per run)", f"{b['cpu_time']:.1f} {unit}"))

timer = open(f"{work}/timer.txt").read()
def grab(pattern, text=timer):
    m = re.search(pattern, text)
    return m.group(1).strip() if m else "n/a"
rows.append(("CPU, share of one core, window active", grab(r"active, pointer right of centre:\s*(.*)")))
rows.append(("CPU, share of one core, another window active", grab(r"another window active \(suspended\):\s*(.*)")))
for label, key in (("beat timer lateness, all firings", r"beat lateness, all firings\s*:"),
                   ("beat timer lateness, outside gear changes", r"beat lateness, outside gear changes\s*:"),
                   ("tick period, all ticks", r"tick period, all ticks\s*:"),
                   ("tick period, outside gear changes", r"tick period, outside gear changes\s*:")):
    rows.append((label, grab(key + r"\s*(.*)")))

names = {"start_to_window_ms": "start to window shown (ms)",
         "start_to_first_tick_ms": "start to first tick (ms)",
         "peak_rss_kb": "peak resident memory, VmHWM (kB)",
         "pitch_delay_ms": "pointer move to engine tone pitch change in the recording (ms)"}
for line in open(f"{work}/measure.txt"):
    key, _, value = line.rstrip("\n").partition("\t")
    if key in names:
        rows.append((names[key], value))

print("| Measure | Value |")
print("|---|---|")
for name, value in rows:
    print(f"| {name} | {value} |")
PY

echo
echo "== beat rhythm in the recorded mix (bench/rhythm.py)" >&2
python3 -W ignore "$root/bench/rhythm.py" --program "$build/bin/k58" \
    --analyser "$build/bin/k58_beat_rhythm" --periods "$periods"
echo
echo "== CPU against a minimal Qt program (bench/cpu_ratio.py)" >&2
for period in ${periods//,/ }; do
    python3 -W ignore "$root/bench/cpu_ratio.py" --program "$build/bin/k58" \
        --minimal "$build/bin/k58_minimal_screen" --period "$period"
done
python3 -W ignore "$root/bench/cpu_ratio.py" --program "$build/bin/k58" \
    --minimal "$build/bin/k58_minimal_screen" --silent
if [ -f "$root/build-windows/bin/k58.exe" ]; then echo; echo "== the Windows build under Wine (bench/wine-bench.py)" >&2; python3 -W ignore "$root/bench/wine-bench.py" --build "$root/build-windows"; fi
