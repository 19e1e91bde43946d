#!/usr/bin/env bash
# Does Siril read quillon-cli's 32-bit float results with the values we wrote? Stacks a small
# generated series with `stack --float` (plain mean, and winsorized rejection), loads each
# result in siril-cli (`load` + `stat`) and compares Siril's mean, median, sigma, minimum and
# maximum with numpy's statistics of the same file read through astropy.
#
#   bench/float_siril.sh [BUILD_DIR]       (configured with -DQUILLON_BENCH=ON)
# Environment: QUILLON_CLI (default BUILD_DIR/src/quillon-cli), QUILLON_BENCH_DIR (/dev/shm).
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BUILD=$(cd "${1:-build}" && pwd)
CLI=${QUILLON_CLI:-$BUILD/src/quillon-cli}
GEN=$BUILD/bench/stack_data
BASE=${QUILLON_BENCH_DIR:-/dev/shm}
[ -w "$BASE" ] || BASE=${TMPDIR:-/tmp}
WORK="$BASE/quillon-bench-float-$$"
[ -x "$GEN" ] || { echo "float_siril.sh: $GEN missing (configure with -DQUILLON_BENCH=ON)" >&2; exit 1; }
command -v siril-cli >/dev/null || "$HERE/../scripts/install-deps.sh" --bench
trap 'rm -rf "$WORK"' EXIT INT TERM

"$GEN" "$WORK" 8 512 512 >/dev/null
REFS=$(cat "$WORK/ref_args.txt")
status=0
for variant in "mean|" "winsorized|--rejection winsorized --sigma 3,3"; do
    IFS='|' read -r name opts <<<"$variant"
    out="$WORK/float_$name.fit"
    # shellcheck disable=SC2086 # REFS and opts hold several arguments
    "$CLI" stack "$out" $REFS --average --float $opts --dark "$WORK/masters/dark.fit" \
        --flat "$WORK/masters/flat.fit" --flat-factor auto "$WORK"/lights/light_*.fit \
        >"$WORK/quillon_$name.log" 2>&1
    # Siril keeps its settings between runs: set every one the script relies on.
    printf 'requires 1.0.0\nsetext fit\nset32bits\nload float_%s\nstat\n' "$name" \
        >"$WORK/stat_$name.ssf"
    siril-cli -d "$WORK" -s "$WORK/stat_$name.ssf" >"$WORK/siril_$name.log" 2>&1
    siril=$(grep -a "Mean:" "$WORK/siril_$name.log" | tail -1)
    # Siril prints one decimal; its median of float data is a histogram estimate.
    /usr/bin/python3 - "$out" "$name" "$siril" <<'PY' || status=1
import re, sys, warnings
import numpy as np
from astropy.io import fits
path, name, line = sys.argv[1:4]
warnings.simplefilter("ignore")
with fits.open(path) as h:
    assert h[0].header["BITPIX"] == -32, "not a float file"
    d = h[0].data.astype(np.float64)
ours = {"Mean": d.mean(), "Median": np.median(d), "Sigma": d.std(), "Min": d.min(), "Max": d.max()}
got = {k: float(v) for k, v in re.findall(r"(\w+): (-?[0-9.]+)", line)}
bad = [k for k, v in ours.items() if k not in got or abs(got[k] - v) > 0.06 + 1e-4 * abs(v)]
print(f"{name:10s} numpy  " + "  ".join(f"{k} {v:.2f}" for k, v in ours.items()))
print(f"{'':10s} siril  " + "  ".join(f"{k} {got.get(k, float('nan')):.1f}" for k in ours))
print(f"{'':10s} {'same values' if not bad else 'DIFFERENT: ' + ', '.join(bad)}")
sys.exit(1 if bad else 0)
PY
done
exit $status
