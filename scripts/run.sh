#!/usr/bin/env bash
# Builds Quillon, writes the bundled sample image and starts the program on it.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${QUILLON_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_GUI=ON >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
SAMPLE="$BUILD/sample/m42-synthetisch.fts"
mkdir -p "$(dirname "$SAMPLE")"
"$BUILD/src/quillon-cli" demo "$SAMPLE"
exec "$BUILD/src/app/quillon" "$SAMPLE"
