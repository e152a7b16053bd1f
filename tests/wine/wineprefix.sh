#!/usr/bin/env bash
# Makes the Wine prefix of one test run, set up as the Wine tests rely on:
# - the X11 driver unmanaged (Managed=N): Wine draws the window frames itself,
#   so a window lands exactly where the program puts it without a window
#   manager, and keys reach it wherever the pointer is;
# - Wine's own fonts in C:\windows\Fonts: without them the caption buttons
#   show as letters and text metrics change;
# - Times New Roman and Arial drawn with their metric twins from
#   fonts-liberation, as Windows has them and Wine does not;
# - Wine's sound through PulseAudio only: a test points PULSE_SERVER at its
#   own server, and without one DirectSound finds no device.
#   wineprefix.sh DIR          make DIR afresh (an old prefix there is removed)
#   wineprefix.sh --stop DIR   end DIR's wineserver and whatever still runs in it
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
set -a
# shellcheck source=wine.env
. "$here/wine.env"
set +a

stop=false
if [ "${1:-}" = "--stop" ]; then
    stop=true
    shift
fi
if [ $# -ne 1 ]; then
    echo "usage: $0 [--stop] DIR" >&2
    exit 2
fi
WINEPREFIX=$(realpath -m "$1")
export WINEPREFIX

# A server left from an earlier run would hold the old prefix open.
if [ -d "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
fi
if $stop; then
    exit 0
fi

rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")"
wineboot --init
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Times New Roman' /d 'Liberation Serif' /f >/dev/null
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d 'Liberation Sans' /f >/dev/null
wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d pulse /f >/dev/null
# Until the prefix's first server has ended (and written the registry), a
# program started in it cannot make its window.
wineserver -w

# The prefix must hold what the tests rely on; say what is missing.
check() {
    if ! grep -qiF "$2" "$WINEPREFIX/user.reg"; then
        echo "wineprefix.sh: the registry lacks $1" >&2
        exit 1
    fi
}
check "the unmanaged X11 driver" '"Managed"="N"'
check "Times New Roman's replacement" '"Times New Roman"="Liberation Serif"'
check "Arial's replacement" '"Arial"="Liberation Sans"'
check "sound through PulseAudio" '"Audio"="pulse"'
for font in /usr/share/wine/fonts/*; do
    cmp -s "$font" "$WINEPREFIX/drive_c/windows/Fonts/$(basename "$font")" ||
        { echo "wineprefix.sh: $(basename "$font") is missing from the prefix" >&2; exit 1; }
done
# Wine set up as wine.env says prints nothing of its own on error output.
said=$(wine cmd /c echo k58 2>&1 >/dev/null)
if [ -n "$said" ]; then
    echo "wineprefix.sh: Wine said on error output: $said" >&2
    exit 1
fi
wineserver -w
