#!/usr/bin/env bash
# Makes the README screenshots under Xvfb: the main window with the sample, the unsharp mask
# dialog with its preview, and the toolbar at normal and doubled scale (QT_SCALE_FACTOR=2),
# into OUT (default docs/screenshots). Needs xvfb, xdotool and imagemagick
# (scripts/install-deps.sh). The composite and photometry windows get their shots here too
# once they exist.
set -euo pipefail
cd "$(dirname "$0")/.."
DEST=${1:-docs/screenshots}
mkdir -p "$DEST"
DEST=$(cd "$DEST" && pwd)
# The doubled toolbar needs a wider screen: a second run of this script on a display of its own.
PHASE=${QUILLON_README_PHASE:-1}
if [ "$PHASE" = 2 ]; then
    NAME=readme-tour-2x DISPLAY_NUMBER=72
    export QUILLON_TOUR_SCREEN=2600x600x24
else
    NAME=readme-tour DISPLAY_NUMBER=71
fi
# shellcheck source=scripts/tour-common.sh
source scripts/tour-common.sh ""

start() {
    env QUILLON_NO_SPLASH=1 "$@" "$BUILD/src/app/quillon" "$SAMPLE" &
    APP=$!
    sleep 4
    focus
}
stop() { kill "$APP"; wait "$APP" 2>/dev/null || true; sleep 0.5; }
# crop SHOT NAME GEOMETRY: cuts GEOMETRY (WxH+X+Y) out of OUT/SHOT.png into DEST/NAME.png.
crop() { convert "$OUT/$1.png" -crop "$3" +repage "$DEST/$2.png"; echo "$DEST/$2.png"; }
# small SHOT: OUT/SHOT.png 1200 pixels wide in 256 colours (a small file for the README).
small() { convert "$OUT/$1.png" -resize 1200x -colors 256 "PNG8:$DEST/$1.png"; echo "$DEST/$1.png"; }
# Menu bar height and toolbar height at scale 1.
MENU=24 BAR=33

if [ "$PHASE" = 2 ]; then
    start QT_SCALE_FACTOR=2
    shot toolbar-2x 1.5
    crop toolbar-2x toolbar-2x "2600x$((2 * BAR))+0+$((2 * MENU))"
    stop
    exit 0
fi

start
shot main-window 1.5
small main-window
crop main-window toolbar "1600x$BAR+0+$MENU"
# Filter > Unsharp mask: the dialog and its preview window.
xdotool key alt+l
sleep 0.4
xdotool key u
shot filter-dialog 2.0
small filter-dialog
xdotool key Escape
stop
QUILLON_README_PHASE=2 bash "$0" "$DEST"
