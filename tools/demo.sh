#!/usr/bin/env bash
# A scripted drive under a virtual display, for watching afterwards:
# from rest through the automatic upshift to the engine limit, a shift down
# with I, braking with B, N, then R from rest. Saves a screenshot of the
# window at each stage and the whole drive's sound as a WAV, and prints where
# they are.
#   usage: tools/demo.sh [build-dir] [out-dir]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
out="${2:-$root/out/demo}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

for tool in Xvfb xdotool openbox import convert python3; do
    command -v "$tool" >/dev/null || { echo "demo: $tool is missing (run tools/install-deps.sh)" >&2; exit 1; }
done
[ -x "$build/bin/k58" ] || { echo "demo: $build/bin/k58 not built" >&2; exit 1; }

K58_BINARY="$build/bin/k58" K58_DEMO_OUT="$out" K58_ROOT="$root" python3 - <<'EOF'
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.environ["K58_ROOT"], "tests", "e2e"))
import harness  # noqa: E402
import soundkit  # noqa: E402

out = os.environ["K58_DEMO_OUT"]
wav = os.path.join(out, "drive.wav")
for name in os.listdir(out):
    if name.endswith(".png") or name == "drive.wav":
        os.remove(os.path.join(out, name))
shots = []


def shot(program, stage, caption):
    """Saves the window's client area as <stage>.png."""
    x, y = program.origin()
    full = os.path.join(out, "screen.tmp.png")
    program.display.screenshot(full)
    path = os.path.join(out, f"{stage}.png")
    subprocess.run(["convert", full, "-crop", f"{harness.CLIENT_W}x{harness.CLIENT_H}+{x}+{y}",
                    "+repage", path], check=True)
    os.remove(full)
    shots.append((path, caption))
    print(f"  {stage}: {caption}", flush=True)


with harness.Display() as display:
    display.start_window_manager()
    program = harness.Program(display, os.path.join(out, "program.log"), sound=wav)
    try:
        if not program.wait_window():
            sys.exit("demo: the window did not open; see " + program.log_path)
        time.sleep(1.0)
        print("Driving:", flush=True)
        program.point(0.5, 1.3)  # below the window, at the neutral point
        time.sleep(0.5)
        shot(program, "01-rest", "at rest: engine idling at 500, gear 1")

        program.click_lever("A")
        program.point(1.6, 1.3)  # far right: full throttle
        time.sleep(4.5)
        shot(program, "02-upshift", "A, full throttle: after the automatic upshift to gear 2")
        time.sleep(5.5)
        shot(program, "03-engine-limit", "gear 2 at the engine limit (4000)")

        program.click_lever("I")
        program.point(1.6, 1.3)
        time.sleep(2.5)
        shot(program, "04-shift-down-I", "I: shifted down to gear 1, engine climbing to the limit")

        program.click_lever("B")
        program.point(0.2, 1.3)  # left of centre: throttle off, back to gear 1
        time.sleep(3.0)
        shot(program, "05-braking-B", "B with the throttle off: braked to a stop in gear 1")

        program.click_lever("N")
        program.point(0.5, 1.3)
        time.sleep(1.0)
        shot(program, "06-neutral-N", "N at rest: R becomes available")

        program.click_lever("R")
        program.point(1.6, 1.3)
        time.sleep(4.0)
        shot(program, "07-reverse-R", "R from rest with throttle: road speed up to its limit")

        program.point(-0.5, 1.3)  # far left: throttle off
        time.sleep(1.0)
        code = program.close_with_alt_f4()
        if code is None:
            sys.exit("demo: the program did not end when its window was closed")
        if code != 0:
            sys.exit(f"demo: the program ended with exit code {code}; see {program.log_path}")
    finally:
        program.stop()

rate, samples = soundkit.read_recording(wav)
print(f"\nScreenshots ({len(shots)}):")
for path, caption in shots:
    print(f"  {path}")
print(f"Sound of the whole drive: {wav} ({len(samples) / rate:.1f} s, {rate} Hz)")
EOF
