#!/usr/bin/env bash
# Installs what is missing, builds K-58 and runs the whole test suite:
#   0. a check that the C++ sources follow .clang-format;
#   1. the normal build: unit, widget, sound and end-to-end tests (under Xvfb,
#      through a PulseAudio server and in a weston session with Xwayland),
#      and the Debian package's check with lintian;
#   2. an AddressSanitizer + UndefinedBehaviorSanitizer build: the unit tests,
#      the short sanitizer soak and the sanitized fault tests (label asan);
#   3. the libFuzzer build: a bounded fuzz run of the wave reader;
#   4. the Windows build, cross-compiled with mingw-w64, tested through Wine
#      in a fresh Wine prefix: the unit tests of the plain C++ layers,
#      k58.exe end to end under Xvfb, its sound through a PulseAudio server,
#      and the zip and the installer (ctest's label summary gives each
#      stage's time).
# Exits non-zero if any stage fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc 2>/dev/null || echo 2)

bash tools/install-deps.sh

echo "== format check"
if git rev-parse --git-dir >/dev/null 2>&1; then
    git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
else
    find app sim panel sound timer platform tests bench \( -name '*.cpp' -o -name '*.h' \) -print0 |
        xargs -0 clang-format --dry-run --Werror
fi

echo "== normal build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DK58_BUILD_TESTS=ON -DK58_BUILD_BENCH=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest -j"$jobs" --output-on-failure --timeout 600)

echo "== sanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DK58_SANITIZE=ON -DK58_BUILD_TESTS=ON -DK58_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest -j"$jobs" -L 'unit|asan' --output-on-failure --timeout 600)

if [ -d tests/fuzz ]; then
    echo "== fuzz build"
    cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DK58_FUZZ=ON >/dev/null
    cmake --build build-fuzz -j"$jobs"
    (cd build-fuzz && ctest --output-on-failure --timeout 600)
fi
echo "== Windows build (mingw-w64, tests through Wine)"
began=$SECONDS
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"
echo "Windows configure and build: $((SECONDS - began)) s"
began=$SECONDS
ctest --preset windows -j"$jobs" --timeout 600
echo "Windows tests: $((SECONDS - began)) s"
echo "== all test stages passed"
