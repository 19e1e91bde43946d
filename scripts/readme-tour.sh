#!/usr/bin/env bash
# Makes the README screenshots under Xvfb: the main window with the sample, the unsharp mask
# Makes the README screenshots under Xvfb: the main window with the sample, the unsharp mask
# dialog with its preview, the photometry window on a star of the sample, the English
# interface, the composite window with a short series, the toolbar at normal and doubled scale
# (QT_SCALE_FACTOR=2), and the first start with the sample on 1280 × 800 and 1920 × 1080 screens
# and in night mode, into DEST (default docs/screenshots). Needs xvfb, xdotool and imagemagick
# (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
DEST=${1:-docs/screenshots}
mkdir -p "$DEST"
DEST=$(cd "$DEST" && pwd)
# Other screen sizes are further runs of this script on displays of their own: the doubled
# toolbar needs a wider screen (phase 2), the first start is shown at 1280 × 800 with night
# mode (phase 3) and at 1920 × 1080 (phase 4).
PHASE=${QUILLON_README_PHASE:-1}
case "$PHASE" in
2) NAME=readme-tour-2x DISPLAY_NUMBER=72 QUILLON_TOUR_SCREEN=2600x600x24 ;;
3) NAME=readme-tour-1280 DISPLAY_NUMBER=73 QUILLON_TOUR_SCREEN=1280x800x24 ;;
4) NAME=readme-tour-1080 DISPLAY_NUMBER=74 QUILLON_TOUR_SCREEN=1920x1080x24 ;;
*) NAME=readme-tour DISPLAY_NUMBER=71 QUILLON_TOUR_SCREEN=${QUILLON_TOUR_SCREEN:-1600x1000x24} ;;
esac
export QUILLON_TOUR_SCREEN
# shellcheck source=scripts/tour-common.sh
source scripts/tour-common.sh ""
BUILD=$(cd "$BUILD" && pwd)

# start [VAR=VALUE...]: the program on the files of OPEN (default the sample), in the folder
# HERE (default the work tree; the open dialog starts there).
OPEN=("$SAMPLE")
HERE=$PWD
start() {
    (cd "$HERE" && exec env QUILLON_NO_SPLASH=1 "$@" "$BUILD/src/app/quillon" "${OPEN[@]}") &
    APP=$!
    sleep 4
    focus
}
stop() { kill "$APP"; wait "$APP" 2>/dev/null || true; sleep 0.5; }
# crop SHOT NAME GEOMETRY: cuts GEOMETRY (WxH+X+Y) out of OUT/SHOT.png into DEST/NAME.png.
crop() { convert "$OUT/$1.png" -crop "$3" +repage "$DEST/$2.png"; echo "$DEST/$2.png"; }
# small SHOT: OUT/SHOT.png at most 1200 pixels wide in 256 colours (a small file for the README).
small() {
    convert "$OUT/$1.png" -resize '1200x>' -colors 256 "PNG8:$DEST/$1.png"
    echo "$DEST/$1.png"
}
# grab SHOT TITLE: saves the shown window titled TITLE (without frame) as OUT/SHOT.png.
grab() {
    local id
    id=$(xdotool search --onlyvisible --name "^$2\$" | head -1)
    if [ -z "$id" ]; then echo "no window '$2'" >&2; return 1; fi
    xdotool windowraise "$id"
    sleep 0.5
    import -window "$id" "$OUT/$1.png"
    echo "$OUT/$1.png"
}
# star SHOT GEOMETRY: the screen position "X Y" of a star inside GEOMETRY (WxH+X+Y) of
# OUT/SHOT.png that the display does not show white: white cores and their surroundings are
# masked, the rest softened, and the brightest point left is the centre of a medium star.
star() {
    local at off=${2#*+}
    at=$(convert "$OUT/$1.png" -crop "$2" +repage -colorspace gray \
        \( +clone -threshold 97% -morphology Dilate Disk:6 -negate \) -compose multiply \
        -composite -blur 0x1.5 miff:- |
        identify -define identify:locate=maximum -define identify:limit=1 - |
        awk '/Gray:/ { print $NF }')
    echo "$((${off%+*} + ${at%,*})) $((${off#*+} + ${at#*,}))"
}
# Menu bar height and toolbar height at scale 1.
MENU=24 BAR=33

if [ "$PHASE" = 2 ]; then
    start QT_SCALE_FACTOR=2
    shot toolbar-2x 1.5
    crop toolbar-2x toolbar-2x "2600x$((2 * BAR))+0+$((2 * MENU))"
    stop
    exit 0
fi
# The first start (no settings yet): the docks around the sample; then the same in night mode.
if [ "$PHASE" = 3 ]; then
    start
    shot first-start 2.0
    small first-start
    stop
    printf '[AppData]\nm_Reg_bNightMode=1\n' >"$QUILLON_SETTINGS_FILE"
    start
    shot night-mode 2.0
    small night-mode
    stop
    exit 0
fi
if [ "$PHASE" = 4 ]; then
    start
    shot first-start-1080 2.0
    small first-start-1080
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
sleep 0.5
# Photometry: its dock is a tab behind the image information in the left column (330 pixels
# wide); a click on its tab (below the information, at this screen size) brings it to the
# front. The mouse goes on a star below the nebula, and the column is cut out of the screen.
read -r X Y < <(star main-window 600x300+750+650)
xdotool mousemove 243 628 click 1
sleep 0.8
xdotool mousemove $((X + 1)) "$Y"
sleep 0.3
xdotool mousemove "$X" "$Y"
sleep 1.0
shot photometry-window 0.2
crop photometry-window photometry-window "330x$((1000 - MENU - BAR - 360))+0+$((MENU + BAR))"
stop

# The English interface ("Datei" > "Einstellungen" > "Sprache..."), with settings of its own.
printf '[AppData]\nm_Reg_strLanguage=en\n' >"$OUT/english.ini"
start QUILLON_SETTINGS_FILE="$OUT/english.ini"
shot english 1.5
small english
stop

# The composite window: a grey series of four shifted cut-outs of the sample, the first one
# open, the others added as files. The list shows whole paths: the series lies in a folder with
# a short name of its own.
SERIES=${TMPDIR:-/tmp}/quillon-serie
rm -rf "$SERIES"
mkdir -p "$SERIES"
"$BUILD/src/quillon-cli" grey "$SAMPLE" "$SERIES/grau.fts" >/dev/null
for i in 1 2 3 4; do
    "$BUILD/src/quillon-cli" crop $((5 * i)) $((3 * i)) $((1180 + 5 * i)) $((880 + 3 * i)) \
        "$SERIES/grau.fts" "$SERIES/m42-belichtung-$i.fts" >/dev/null
done
rm "$SERIES/grau.fts"
OPEN=("$SERIES/m42-belichtung-1.fts")
HERE=$SERIES
start
# Aktionen > Komposit / Summenbild erstellen > Graubild...
xdotool key alt+a
sleep 0.4
xdotool key k
sleep 0.4
xdotool key g
sleep 1.5
# The focus starts on the list chooser; two tabs on is "Bild aus Datei hinzufügen", whose open
# dialog starts in the series folder.
xdotool key Tab Tab space
sleep 1.5
xdotool type --delay 20 '"m42-belichtung-2.fts" "m42-belichtung-3.fts" "m42-belichtung-4.fts"'
xdotool key Return
sleep 1.5
# Next to it "Geöffnetes Bild hinzufügen": every open view.
xdotool key Tab space
sleep 1.0
xdotool key ctrl+a Return
sleep 1.0
grab composite-window "Komposit / Summenbild erstellen"
small composite-window
xdotool key Escape
stop
rm -rf "$SERIES"
for phase in 2 3 4; do QUILLON_README_PHASE=$phase bash "$0" "$DEST"; done
