#!/usr/bin/env bash
# Opens the sample under Xvfb and each filter dialog of the "Filter" menu in turn, with its
# preview window, and leaves a screenshot of each in OUT (default build/filter-tour). Needs
# xvfb, xdotool and imagemagick (scripts/install-deps.sh).
set -euo pipefail
NAME=filter-tour DISPLAY_NUMBER=59
# shellcheck source=scripts/tour-common.sh
source "$(dirname "$0")/tour-common.sh"


QUILLON_NO_SPLASH=1 "$BUILD/src/app/quillon" "$SAMPLE" &
APP=$!
sleep 3
focus
# Fi&lter menu: each entry by its mnemonic; Escape closes the dialog and its preview.
n=1
for key in h t s r u; do
    focus
    xdotool key alt+l
    sleep 0.4
    xdotool key "$key"
    shot "0$n-filter-$key" 1.5
    xdotool key Escape
    sleep 0.5
    n=$((n + 1))
done
# The unsharp mask with its stored values: OK makes the new document "Unscharf Maskiert".
focus
xdotool key alt+l
sleep 0.4
xdotool key u
sleep 1.5
xdotool key Return
shot 06-unsharp-result 2.0
