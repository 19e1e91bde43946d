# Shared start of the tour scripts (sourced, not run): the sample in OUT, an Xvfb display,
# settings and single-instance name of their own, and the helpers `shot` and `focus`.
# Callers set NAME (default output folder and instance name) and DISPLAY_NUMBER first and
# pass the output folder as $1.
cd "$(dirname "${BASH_SOURCE[0]}")/.."
BUILD=${QUILLON_BUILD_DIR:-build}
OUT=${1:-$BUILD/$NAME}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
SAMPLE="$OUT/m42-synthetisch.fts"
"$BUILD/src/quillon-cli" demo "$SAMPLE"
rm -f "$OUT"/*.png "$OUT/settings.ini"

export DISPLAY=:${QUILLON_TOUR_DISPLAY:-$DISPLAY_NUMBER}
Xvfb "$DISPLAY" -screen 0 "${QUILLON_TOUR_SCREEN:-1600x1000x24}" >/dev/null 2>&1 &
XVFB=$!
export QUILLON_SETTINGS_FILE="$OUT/settings.ini" QUILLON_INSTANCE_NAME="quillon-$NAME-$$"
cleanup() { kill "${APP:-}" 2>/dev/null || true; kill "$XVFB" 2>/dev/null || true; }
trap cleanup EXIT
sleep 1

# shot NAME [SECONDS]: waits, then saves the whole screen as OUT/NAME.png.
shot() { sleep "${2:-0.8}"; import -window root "$OUT/$1.png"; echo "$OUT/$1.png"; }
# Gives the main window the keyboard focus.
focus() { xdotool search --onlyvisible --name "^Quillon$" windowfocus --sync 2>/dev/null || true; }
