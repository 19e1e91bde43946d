#!/usr/bin/env bash
# Runs bench/calibrate.ssf in siril-cli on a work folder at a given thread count:
#   bench/siril_calibrate.sh WORK [THREADS]
# WORK holds lights/light_00001.fit ..., masters/dark.fit and masters/flat.fit (bench_calibrate
# writes them); the calibrated frames land in WORK/siril.
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WORK=${1:?work folder}
THREADS=${2:-$(nproc)}
command -v siril-cli >/dev/null || "$HERE/../scripts/install-deps.sh" --bench
rm -rf "$WORK/siril"
mkdir -p "$WORK/siril"
sed "s/^setcpu .*/setcpu $THREADS/" "$HERE/calibrate.ssf" | siril-cli -d "$WORK" -s -
