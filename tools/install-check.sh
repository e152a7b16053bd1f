#!/usr/bin/env bash
# Clean-root install check of the K-58 Debian package.
#
# Builds the .deb, makes a fresh Debian 12 (bookworm) root with debootstrap,
# and inside it:
#   1. installs the package with apt, so its declared dependencies are pulled
#      and nothing else: the program, its sound module and Qt's X11 platform
#      plugin must then find every library they need;
#   2. installs a virtual display (Xvfb, openbox, xdotool), starts the
#      program from its desktop entry's Exec line with a silent sound device,
#      checks that the window "K-58" appears, that no error box shows and that
#      it stays up, then closes it with alt+F4 and expects exit code 0;
#   3. purges the package and checks that none of its files remain.
# Prints PASS or FAIL per step and a summary; exits 0 only if all passed.
#
# Needs root, network access to a Debian mirror and a few minutes the first
# time. The pristine root and the downloaded packages are cached under
# /var/cache/k58-debootstrap, so later runs take about a minute plus the build.
#
# Usage: tools/install-check.sh [--keep]
#   --keep   leave the checked root in place (default: removed at the end)
# Environment:
#   K58_PACKAGE_BUILD  build folder for the package (default: build-package)
#   K58_MIRROR         Debian mirror (default: the one this machine's apt uses)
#   K58_CHECK_ROOT     where the checked root is made (default: /var/tmp/k58-install-check)
set -euo pipefail

cd "$(dirname "$0")/.."
repo=$PWD
keep=0
[ "${1:-}" = "--keep" ] && keep=1

build=${K58_PACKAGE_BUILD:-$repo/build-package}
cache=/var/cache/k58-debootstrap
pristine=$cache/bookworm-minbase
archives=$cache/archives
work=${K58_CHECK_ROOT:-/var/tmp/k58-install-check}
root=$work/root
jobs=$(nproc 2>/dev/null || echo 2)
started=$(date +%s)

results=()
failed=0
# Each result carries the seconds since the start, which shows where the time goes.
at() { printf '%4d s' $(($(date +%s) - started)); }
pass() { results+=("$(at)  PASS  $1"); echo "PASS: $1"; }
fail() { results+=("$(at)  FAIL  $1"); echo "FAIL: $1" >&2; failed=1; }
summary() {
    echo
    echo "== install check summary ($(($(date +%s) - started)) s)"
    printf '  %s\n' "${results[@]}"
    if [ "$failed" -eq 0 ]; then echo "== PASS"; else echo "== FAIL"; fi
}
# Stops at the first failed step; the later steps depend on it.
must() { fail "$1"; summary; exit 1; }

if [ "$(id -u)" -ne 0 ]; then
    echo "install-check.sh needs root (debootstrap, chroot, mounts)" >&2
    exit 2
fi

# The mirror this machine's apt uses for the main archive.
mirror_from_apt() {
    local m
    m=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources \
            2>/dev/null |
        sed -n -e 's/^URIs:[[:space:]]*//p' -e 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]\+\).*/\2/p' |
        grep -m1 -E '/debian/?$' || true)
    echo "$m"
}
mirror=${K58_MIRROR:-$(mirror_from_apt)}
if [ -z "$mirror" ]; then
    echo "install-check.sh: no Debian mirror in apt's sources; name one in K58_MIRROR" >&2
    exit 2
fi

mounted=()
xvfb_pid=""
wm_pid=""
cleanup() {
    set +e
    for p in $wm_pid $xvfb_pid; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
    # Anything still running inside the checked root is ours; stop it by id.
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -9 "${p#/proc/}" 2>/dev/null
    done
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}"
    done
    if [ "$keep" -eq 0 ] && [ -d "$root" ] && ! grep -q " $root/" /proc/mounts; then
        rm -rf "$work"
    fi
}
trap cleanup EXIT

# A child that has ended stays a zombie until waited for; it counts as ended.
alive() {
    local s
    s=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
    [[ $s != Z* ]]
}

in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"; }

# --- tools on this machine ------------------------------------------------
need=()
command -v debootstrap >/dev/null || need+=(debootstrap)
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
if [ ${#need[@]} -gt 0 ]; then
    echo "Installing ${need[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# --- 1. the package -------------------------------------------------------
echo "== building the package in $build"
# A folder configured before keeps its build type; a new one builds Release.
config=(-DK58_BUILD_TESTS=OFF -DK58_BUILD_BENCH=OFF)
[ -f "$build/CMakeCache.txt" ] || config+=(-DCMAKE_BUILD_TYPE=Release)
cmake -S . -B "$build" "${config[@]}" >/dev/null || must "configure the package build"
rm -f "$build"/package/k58_*.deb
cmake --build "$build" --target package -j"$jobs" >"$build/package.log" 2>&1 ||
    { tail -30 "$build/package.log"; must "build the package (log: $build/package.log)"; }
deb=$(ls "$build"/package/k58_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || must "build the package (no .deb in $build/package)"
pass "package built: $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB)"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"

# --- 2. a clean Debian 12 root --------------------------------------------
if [ ! -f "$pristine/etc/debian_version" ]; then
    echo "== debootstrap bookworm from $mirror into $pristine (cached for later runs)"
    rm -rf "$pristine.partial"
    mkdir -p "$cache"
    debootstrap --variant=minbase bookworm "$pristine.partial" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
        { tail -20 "$cache/debootstrap.log"; must "debootstrap a clean bookworm root"; }
    rm -f "$pristine.partial"/var/cache/apt/archives/*.deb
    mv "$pristine.partial" "$pristine"
fi
echo "== copying the clean root to $root"
if [ -d "$work" ]; then
    grep -q " $work/" /proc/mounts && must "remove the previous checked root ($work still has mounts)"
    rm -rf "$work"
fi
mkdir -p "$work" "$archives/partial"
cp -a "$pristine" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
# Services must not start inside the root.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
echo "deb $mirror bookworm main" >"$root/etc/apt/sources.list"
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount --bind /dev "$root/dev" && mounted+=("$root/dev")
mount --bind /dev/pts "$root/dev/pts" && mounted+=("$root/dev/pts")
# Downloaded packages are kept between runs.
mount --bind "$archives" "$root/var/cache/apt/archives" && mounted+=("$root/var/cache/apt/archives")
in_root apt-get update -qq >"$work/apt-update.log" 2>&1 ||
    { tail -20 "$work/apt-update.log"; must "apt-get update in the clean root"; }
pass "clean bookworm root ready ($(cat "$root/etc/debian_version"))"

# --- 3. install with apt --------------------------------------------------
cp "$deb" "$root/tmp/"
in_root apt-get install -y --no-install-recommends "/tmp/$(basename "$deb")" >"$work/apt-install.log" 2>&1 ||
    { tail -30 "$work/apt-install.log"; must "apt-get install of the package"; }
pulled=$(grep -c '^Setting up' "$work/apt-install.log" || true)
pass "installed with apt ($pulled packages set up, recommends off)"

# Every library the program, its module and the X11 platform plugin need must
# come from the declared dependencies: nothing else is installed yet.
plugin=$(in_root sh -c 'ls /usr/lib/*/qt6/plugins/platforms/libqxcb.so 2>/dev/null | head -1' || true)
missing=""
for f in /usr/games/k58 /usr/lib/games/k58/k58-dsound.so $plugin; do
    if ! in_root test -f "$f"; then
        missing+=" $f (absent)"
        continue
    fi
    nf=$(in_root ldd "$f" 2>&1 | grep 'not found' || true)
    [ -z "$nf" ] || missing+=" $f: $(echo "$nf" | tr -s '\n\t ' ' ')"
done
[ -n "$plugin" ] || missing+=" Qt X11 platform plugin (absent)"
if [ -z "$missing" ]; then
    pass "program, sound module and X11 plugin resolve all their libraries"
else
    fail "unresolved libraries:$missing"
fi
in_root fc-match -f '%{family}\n' 'Arial' | grep -qi liberation &&
    pass "Arial is served by the Liberation fonts" ||
    fail "no Liberation font for Arial (fc-match: $(in_root fc-match Arial 2>&1 | head -1))"

# --- 4. start from the desktop entry --------------------------------------
desktop=$root/usr/share/applications/k58.desktop
exec_line=$(sed -n 's/^Exec=//p' "$desktop" 2>/dev/null | head -1)
# Field codes (%f, %u ...) would be filled by the launcher; there are none to fill.
exec_line=$(echo "$exec_line" | sed 's/ *%[fFuUdDnNickvm]//g')
[ -n "$exec_line" ] || must "desktop entry has an Exec line"
echo "== desktop entry Exec: $exec_line"
in_root apt-get install -y --no-install-recommends xvfb xauth openbox xdotool x11-utils \
    >"$work/apt-harness.log" 2>&1 ||
    { tail -20 "$work/apt-harness.log"; must "install Xvfb, openbox and xdotool in the root"; }

display=""
for n in $(seq 87 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ] &&
        ! grep -q "@/tmp/.X11-unix/X$n\$" /proc/net/unix; then
        display=$n
        break
    fi
done
[ -n "$display" ] || must "find a free display number"
in_root Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "$root/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
[ -e "$root/tmp/.X11-unix/X$display" ] || must "start Xvfb in the root"
x_env=(DISPLAY=":$display" XDG_RUNTIME_DIR=/tmp/k58-xdg)
mkdir -p -m 700 "$root/tmp/k58-xdg"
in_root "${x_env[@]}" openbox >"$work/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
    in_root "${x_env[@]}" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done

in_root "${x_env[@]}" ALSOFT_DRIVERS=null sh -c "exec $exec_line" >"$work/k58.log" 2>&1 &
k58_pid=$!
window=""
for _ in $(seq 150); do
    window=$(in_root "${x_env[@]}" xdotool search --onlyvisible --name '^K-58$' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    alive "$k58_pid" || break
    sleep 0.1
done
if [ -z "$window" ]; then
    cat "$work/k58.log"
    must "window \"K-58\" appears after starting from the desktop entry"
fi
geometry=$(in_root "${x_env[@]}" xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
# An error box is captioned "K-58" too; the main window is the one with the
# fixed 569 x 152 client area.
if [ "$geometry" = "569x152" ]; then
    pass "window \"K-58\" appeared (client $geometry)"
else
    fail "window \"K-58\" is the main window (client $geometry, expected 569x152)"
fi

sleep 5
boxes=$(in_root "${x_env[@]}" xdotool search --onlyvisible --name '^(K-58|Application Error)$' 2>/dev/null |
    wc -l || true)
if ! alive "$k58_pid"; then
    cat "$work/k58.log"
    fail "program still running 5 s after its window appeared"
elif [ "$boxes" -ne 1 ]; then
    fail "no error box beside the window ($boxes windows named K-58 or Application Error)"
else
    pass "program still running 5 s later with no error box"
fi

if alive "$k58_pid"; then
    in_root "${x_env[@]}" xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4 || true
    rc=""
    for _ in $(seq 100); do
        if ! alive "$k58_pid"; then
            rc=0
            wait "$k58_pid" || rc=$?
            break
        fi
        sleep 0.1
    done
    if [ -z "$rc" ]; then
        kill "$k58_pid" 2>/dev/null || true
        fail "program ends when its window is closed (still running 10 s after alt+F4)"
    elif [ "$rc" -ne 0 ]; then
        cat "$work/k58.log"
        fail "program ends with exit code 0 when its window is closed (got $rc)"
    else
        pass "window closed with alt+F4, exit code 0"
    fi
fi
for p in $wm_pid $xvfb_pid; do
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
done
wm_pid=""
xvfb_pid=""

# --- 5. purge -------------------------------------------------------------
in_root dpkg-query -L k58 | sort >"$work/k58.files"
in_root apt-get purge -y --autoremove k58 >"$work/apt-purge.log" 2>&1 ||
    { tail -20 "$work/apt-purge.log"; must "apt-get purge k58"; }
left=""
while read -r f; do
    # Directories shared with other packages (/usr/bin ...) stay; files must not.
    if [ -e "$root$f" ] && [ ! -d "$root$f" ]; then left+=" $f"; fi
    if [ -d "$root$f" ] && [[ "$f" == */k58 ]]; then left+=" $f/"; fi
done <"$work/k58.files"
state=$(in_root dpkg-query -W -f='${db:Status-Status}' k58 2>/dev/null || echo not-installed)
if [ -n "$left" ]; then
    fail "no files of the package remain after purge (left:$left)"
elif [ "$state" != "not-installed" ]; then
    fail "package fully purged (dpkg state: $state)"
else
    pass "purged: none of its $(grep -c . "$work/k58.files") paths remain (shared directories aside)"
fi
# The program keeps no state, so nothing of it should be in the home folder either.
# (openbox, the test's window manager, keeps its own log there.)
homefiles=$(cd "$root/root" && find . -type f ! -path './.cache/openbox/*' ! -path './.cache/fontconfig/*' |
    while read -r f; do [ -e "$pristine/root/$f" ] || echo "${f#./}"; done | head -5)
[ -z "$homefiles" ] || echo "note: files in /root after the run: $homefiles"

summary
[ "$failed" -eq 0 ]
