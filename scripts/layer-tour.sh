#!/usr/bin/env bash
# Opens the sample under Xvfb and goes through the dark/flat dialog, adding and removing the
# overlay, a column repair, the grey conversion with its preview and splitting into layers, leaving a
# screenshot of each step in OUT (default build/layer-tour). Needs xvfb, xdotool and
# imagemagick (scripts/install-deps.sh).
set -euo pipefail
NAME=layer-tour DISPLAY_NUMBER=61
# shellcheck source=scripts/tour-common.sh
source "$(dirname "$0")/tour-common.sh"

QUILLON_NO_SPLASH=1 "$BUILD/src/app/quillon" "$SAMPLE" &
APP=$!
sleep 3
focus
# Aktionen > Dunkelstrom / Flatfieldkorrektur: the dialog with the stored values.
xdotool key alt+a
sleep 0.4
xdotool key d
shot 01-darkflat-dialog 1.0
xdotool key Escape
sleep 0.5
# Bild > leeres Overlay hinzufügen, then Overlay entfernen: the question (answered Abbrechen).
focus
xdotool key alt+i
sleep 0.4
xdotool key h
sleep 1.0
focus
xdotool key alt+i
sleep 0.4
xdotool key o
shot 02-remove-overlay-question 1.0
xdotool key Escape
sleep 0.5
# A selection one pixel wide (a drag from one column to the next), then Aktionen > Spalte
# reparieren: "Ebene auswählen", answered with OK.
xdotool mousemove 600 300 mousedown 1 mousemove 601 350 mousemove 601 400 mouseup 1
sleep 0.5
focus
xdotool key alt+a
sleep 0.4
xdotool key s
shot 03-repair-layer-choice 1.0
xdotool key Return
sleep 1.0
# Bild > Konvertieren > Graubild: the dialog with its preview, then OK makes "Graubild".
focus
xdotool key alt+i
sleep 0.4
xdotool key k
sleep 0.3
xdotool key g
shot 04-grey-dialog 1.5
# Return inside a number field only confirms the field: OK is clicked.
xdotool mousemove 838 517 click 1
shot 05-grey-result 2.0
# Back to the sample (Ctrl+Tab), then Aktionen > Bild in Einzelebenen auftrennen: three layer
# documents and the overlay picture, tiled by Fenster > Nebeneinander.
focus
xdotool key ctrl+Tab
sleep 0.8
xdotool key alt+a
sleep 0.4
xdotool key e
sleep 3.0
focus
xdotool key alt+f
sleep 0.4
xdotool key n
shot 06-split-tiled 1.5
