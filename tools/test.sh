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
#      and the zip and the installer.
# The sanitizer, fuzz and Windows builds run while the normal build's tests
# run, at idle priority: they take only the time the tests leave unused, so
# the tests' timing is what it would be alone. Every stage runs even when an
# earlier one failed; each prints its result and time, and the script exits
# non-zero if any stage failed.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

bash tools/install-deps.sh || exit 1

# The compiler cache: a run rebuilds only what changed since the last run
# on this machine, wherever the clone is.
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
    export cache_args="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
else
    export cache_args=""
fi

results=()
failed=0
status=$(mktemp -d)
trap 'rm -rf "$status"' EXIT

# record NAME CODE SECONDS: notes one stage's result.
record() {
    if [ "$2" -eq 0 ]; then
        results+=("passed  $(printf '%4d' "$3") s  $1")
    else
        results+=("FAILED  $(printf '%4d' "$3") s  $1")
        failed=1
    fi
}

# stage NAME COMMAND...: runs one stage in the foreground.
stage() {
    local name=$1
    shift
    echo "== $name"
    local began=$SECONDS
    # Not in an if: errexit would be off inside the subshell there.
    ( set -e; "$@" )
    record "$name" $? $((SECONDS - began))
}

# build_quietly NAME COMMAND...: one build of the background chain; its
# output goes to a log shown when it fails, its result to the status folder.
build_quietly() {
    local name=$1
    shift
    local began=$SECONDS
    ( set -e; "$@" ) >"$status/$name.log" 2>&1
    echo "$? $((SECONDS - began))" >"$status/$name"
}

# built NAME: 0 if that background build succeeded, else shows its log.
built() {
    local code seconds
    read -r code seconds <"$status/$1"
    record "$1 build (in the background)" "$code" "$seconds"
    if [ "$code" -ne 0 ]; then
        echo "== $1 build FAILED:"
        tail -n 60 "$status/$1.log"
    fi
    return "$code"
}

format_check() {
    if git rev-parse --git-dir >/dev/null 2>&1; then
        git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
    else
        find app sim panel sound timer platform tests bench \( -name '*.cpp' -o -name '*.h' \) -print0 |
            xargs -0 clang-format --dry-run --Werror
    fi
}

normal_build() {
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DK58_BUILD_TESTS=ON -DK58_BUILD_BENCH=ON $cache_args >/dev/null
    cmake --build build -j"$jobs"
}
normal_tests() { cd build && ctest -j"$jobs" --output-on-failure --timeout 600; }

sanitizer_build() {
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DK58_SANITIZE=ON -DK58_BUILD_TESTS=ON -DK58_BUILD_BENCH=OFF $cache_args >/dev/null
    cmake --build build-asan -j"$jobs"
}
sanitizer_tests() {
    cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest -j"$jobs" -L 'unit|asan' --output-on-failure --timeout 600
}

fuzz_build() {
    cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DK58_FUZZ=ON $cache_args >/dev/null
    cmake --build build-fuzz -j"$jobs"
}
fuzz_run() { cd build-fuzz && ctest --output-on-failure --timeout 600; }

windows_build() {
    cmake --preset windows $cache_args >/dev/null
    cmake --build --preset windows -j"$jobs"
}
windows_tests() { ctest --preset windows -j"$jobs" --timeout 600; }

# Idle priority where the system allows it, else the lowest nice value.
idle=(chrt --idle 0)
"${idle[@]}" true 2>/dev/null || idle=(nice -n 19)

stage "format check" format_check
stage "normal build" normal_build
(
    for name in sanitizer fuzz windows; do
        build_quietly "$name" "${idle[@]}" bash -c "set -e; $(declare -f "${name}_build"); jobs=$jobs; ${name}_build"
    done
) &
background=$!
stage "normal tests" normal_tests
echo "== waiting for the background builds"
wait "$background"
if built sanitizer; then stage "sanitizer tests" sanitizer_tests; fi
if built fuzz; then stage "fuzz run" fuzz_run; fi
if built windows; then stage "Windows tests through Wine" windows_tests; fi

echo "== results"
printf '%s\n' "${results[@]}"
if [ "$failed" -ne 0 ]; then
    echo "== some test stages FAILED"
    exit 1
fi
echo "== all test stages passed"
