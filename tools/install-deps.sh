#!/usr/bin/env bash
# Installs the Debian 12 packages K-58 needs to build, run and test, if any
# are missing. Needs root (or sudo).
set -euo pipefail

packages=(
    build-essential cmake pkg-config git ccache
    qt6-base-dev libgl-dev libopenal-dev libopenal1 libxcb1-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang clang-format libclang-rt-14-dev
    xvfb xauth xdotool openbox x11-utils imagemagick sox xsettingsd
    weston xwayland qt6-wayland
    pulseaudio pulseaudio-utils
    fonts-liberation fonts-dejavu-core
    python3 dpkg-dev file lintian gdb
    g++-mingw-w64-x86-64-posix mingw-w64-tools googletest wine64 wine fonts-wine nsis
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
