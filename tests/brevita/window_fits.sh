#!/usr/bin/env bash
# The real main window, offscreen on a 1280x1024 screen: at 200% it packs
# itself to fit the screen, with room for a title bar; at 100% it keeps its
# full layout, each caption on one line.
#
#   window_fits.sh BIN_DIR
set -euo pipefail
bin=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/server/Stream Files"
printf '{"screens": [{"name": "s", "x": 0, "y": 0, "width": 1280, "height": 1024, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]}\n' \
    >"$work/screen.json"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Ostrel\\1.0]\r\n"Root Path"="%s/server/"\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Velmora\\]\r\n"Version Number"=dword:00040000\r\n"Build Number"=dword:00020019\r\n' \
    "$work" >"$work/registry.reg"

# grab SCALE: the window's size in pixels, as "WIDTH HEIGHT"
grab() {
    rm -f "$work/main.png"
    BREVITA_REGISTRY=$work/registry.reg BREVITA_GRAB_PNG=$work/main.png QT_SCALE_FACTOR=$1 \
        QT_QPA_PLATFORM="offscreen:configfile=$work/screen.json" timeout 30 "$bin/Brevita" >/dev/null 2>&1 || true
    [ -s "$work/main.png" ] || { echo "no window was grabbed at $1" >&2; return 1; }
    # A PNG's width and height: big-endian words at bytes 16 and 20.
    local b
    b=($(od -An -tu1 -j16 -N8 "$work/main.png"))
    echo $(((b[0] << 24) + (b[1] << 16) + (b[2] << 8) + b[3])) \
        $(((b[4] << 24) + (b[5] << 16) + (b[6] << 8) + b[7]))
}

read -r w h < <(grab 2)
[ "$w" -le 1280 ] && [ "$h" -le 960 ] || { echo "at 200%: ${w}x$h does not fit 1280x1024" >&2; exit 1; }
read -r w h < <(grab 1)
[ "$w" -ge 780 ] || { echo "at 100%: ${w}x$h, packed although the screen has room" >&2; exit 1; }
echo "the main window fits"
