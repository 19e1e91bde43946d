#!/usr/bin/env bash
# Starts the real program under Xvfb on the bundled sample with empty settings (which opens
# every tool window at its standard position) and leaves a screenshot of the whole screen and
# of each tool window in OUT (default build/tool-tour). Needs xvfb, xdotool and imagemagick.
set -euo pipefail
NAME=tool-tour DISPLAY_NUMBER=58
# shellcheck source=scripts/tour-common.sh
source "$(dirname "$0")/tour-common.sh"
export QUILLON_NO_SPLASH=1

"$BUILD/src/app/quillon" "$SAMPLE" &
APP=$!
sleep 3
import -window root "$OUT/00-screen.png"
echo "$OUT/00-screen.png"

# One picture per tool window, raised first (the standard positions overlap on purpose).
win() { xdotool search --onlyvisible --name "^$1\$" | head -1; }
grab() {
    local id
    id=$(win "$1") || true
    if [ -z "$id" ]; then echo "no window '$1'" >&2; return 1; fi
    xdotool windowraise "$id"
    sleep 0.5
    import -window "$id" "$OUT/$2.png"
    echo "$OUT/$2.png"
}
grab "Skalierung" 01-skalierung
grab "Zoomnavigator" 02-zoomnavigator
grab "Histogramm" 03-histogramm
grab "Bildinformation - zur Ansicht" 04-bildinformation
# Edit mode: type into the comment box of the image information window.
id=$(win "Bildinformation - zur Ansicht")
xdotool windowraise "$id" windowfocus --sync "$id" 2>/dev/null || true
eval "$(xdotool getwindowgeometry --shell "$id")"
xdotool mousemove $((X + 150)) $((Y + HEIGHT - 120)) click 1
xdotool type "Testzeile"
sleep 0.5
grab "Bildinformation - in Bearbeitung" 05-bildinformation-bearbeitung
import -window root "$OUT/06-screen-edit.png"
echo "$OUT/06-screen-edit.png"
