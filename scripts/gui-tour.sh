#!/usr/bin/env bash
# Drives the real program under Xvfb through a short tour (open the sample, zoom, scroll,
# select, save as, close, reopen) and leaves a screenshot of each step in OUT (default
# build/tour). Needs xvfb, xdotool and imagemagick (scripts/install-deps.sh).
set -euo pipefail
NAME=tour DISPLAY_NUMBER=57
# shellcheck source=scripts/tour-common.sh
source "$(dirname "$0")/tour-common.sh"
rm -f "$OUT/kopie.fts"

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
