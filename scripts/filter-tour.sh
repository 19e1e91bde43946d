#!/usr/bin/env bash
# Opens the sample under Xvfb and each filter dialog of the "Filter" menu in turn, with its
# preview window, and leaves a screenshot of each in OUT (default build/filter-tour). Needs
# xvfb, xdotool and imagemagick (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${QUILLON_BUILD_DIR:-build}
OUT=${1:-$BUILD/filter-tour}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
SAMPLE="$OUT/m42-synthetisch.fts"
"$BUILD/src/quillon-cli" demo "$SAMPLE"
rm -f "$OUT"/*.png "$OUT/settings.ini"

export DISPLAY=:${QUILLON_TOUR_DISPLAY:-58}
Xvfb "$DISPLAY" -screen 0 1600x1000x24 >/dev/null 2>&1 &
XVFB=$!
export QUILLON_SETTINGS_FILE="$OUT/settings.ini" QUILLON_INSTANCE_NAME="quillon-filter-tour-$$"
cleanup() { kill "${APP:-}" 2>/dev/null || true; kill "$XVFB" 2>/dev/null || true; }
trap cleanup EXIT
sleep 1

shot() { sleep "${2:-1.0}"; import -window root "$OUT/$1.png"; echo "$OUT/$1.png"; }
focus() { xdotool search --onlyvisible --name "^Quillon$" windowfocus --sync 2>/dev/null || true; }

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
