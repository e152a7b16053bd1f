#!/usr/bin/env bash
# Installs what is missing, builds K-58 and runs it. On a machine without a
# display it says so and runs a short scripted drive under Xvfb instead,
# saving screenshots and the drive's sound, and prints where they are.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DK58_BUILD_TESTS=OFF -DK58_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$jobs" --target k58 k58_dsound

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec build/bin/k58
fi

out="$PWD/out/demo"
echo "No display found (DISPLAY is unset or unreachable)."
echo "Running a scripted drive under a virtual display instead; results go to $out"
exec bash tools/demo.sh "$PWD/build" "$out"
