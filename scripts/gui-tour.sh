#!/usr/bin/env bash
# Drives the real program under Xvfb through a short tour (open the sample, zoom, scroll,
# select, save as, close, reopen) and leaves a screenshot of each step in OUT (default
# build/tour). Needs xvfb, xdotool and imagemagick (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${QUILLON_BUILD_DIR:-build}
OUT=${1:-$BUILD/tour}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
SAMPLE="$OUT/m42-synthetisch.fts"
"$BUILD/src/quillon-cli" demo "$SAMPLE"
rm -f "$OUT"/*.png "$OUT/kopie.fts" "$OUT/settings.ini"

export DISPLAY=:${QUILLON_TOUR_DISPLAY:-57}
Xvfb "$DISPLAY" -screen 0 1600x1000x24 >/dev/null 2>&1 &
XVFB=$!
export QUILLON_SETTINGS_FILE="$OUT/settings.ini" QUILLON_INSTANCE_NAME="quillon-tour-$$"
cleanup() { kill "${APP:-}" 2>/dev/null || true; kill "$XVFB" 2>/dev/null || true; }
trap cleanup EXIT
sleep 1

shot() { sleep "${2:-0.8}"; import -window root "$OUT/$1.png"; echo "$OUT/$1.png"; }
focus() { xdotool search --onlyvisible --name "^Quillon$" windowfocus --sync 2>/dev/null || true; }

"$BUILD/src/app/quillon" "$SAMPLE" &
APP=$!
shot 01-splash 1.0
sleep 2.5
focus
shot 02-opened
# Zoom box (toolbar): 200 %, then the zoom-in button.
xdotool mousemove 440 36 click --repeat 3 1 type "200"
xdotool key Return
shot 03-zoom200
# Scroll with the keyboard inside the image: three lines down, one page right.
xdotool mousemove 700 500 click 1
xdotool key Down Down Down Next
shot 04-scrolled
# Select a rectangle by dragging.
xdotool mousemove 600 400 mousedown 1 mousemove 700 470 mousemove 800 560 mouseup 1
shot 05-selected
# Ctrl + left click: white point from the pixel under the pointer.
xdotool keydown ctrl mousemove 650 450 click 1 keyup ctrl
shot 06-whitepoint
# Speichern unter...: Alt+D, u, type a new name.
focus
xdotool key alt+d u
sleep 1
xdotool key ctrl+a
xdotool type "$OUT/kopie.fts"
shot 07-save-dialog 0.3
xdotool key Return
shot 08-saved
# Close the document, then reopen the saved copy with Ctrl+O.
focus
xdotool key alt+d c
shot 09-closed
focus
xdotool key ctrl+o
sleep 1
xdotool key ctrl+a
xdotool type "$OUT/kopie.fts"
xdotool key Return
shot 10-reopened 1.5
ls -l "$OUT/kopie.fts"
