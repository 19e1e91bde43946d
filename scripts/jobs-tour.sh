#!/usr/bin/env bash
# Runs a long filter on a large image under Xvfb: once cancelled with Esc (no new document,
# the source unchanged), once to its end with a screenshot while it runs (progress in the
# status bar, "Abbrechen" beside it, menus greyed). Screenshots in OUT (default
# build/jobs-tour). Needs xvfb, xdotool and imagemagick (scripts/install-deps.sh).
set -euo pipefail
NAME=jobs-tour DISPLAY_NUMBER=58
# shellcheck source=scripts/tour-common.sh
source "$(dirname "$0")/tour-common.sh"

LARGE="$OUT/gross.fts"
"$BUILD/src/quillon-cli" resize --prozent 1000 --bestaetigt "$SAMPLE" "$LARGE" >/dev/null
QUILLON_NO_SPLASH=1 "$BUILD/src/app/quillon" "$LARGE" &
APP=$!
sleep 8
# Fi&lter > Tiefpassfilter with the largest kernel: both sliders to their right end, then OK.
lowpass() {
    focus
    xdotool key alt+l
    sleep 0.4
    xdotool key t
    sleep 1.5
    xdotool key End Tab End Return
}
lowpass
sleep 1.0
# Without a window manager the closed dialog takes the keyboard focus with it.
focus
xdotool key Escape
shot 01-cancelled 1.0
lowpass
shot 02-running 1.2
shot 03-finished 8
