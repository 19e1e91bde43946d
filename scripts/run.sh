#!/usr/bin/env bash
# Builds Quillon and starts it on the bundled sample image.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${QUILLON_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
"$BUILD/src/quillon-cli" --help
SAMPLE="$BUILD/sample/m42-synthetisch.fts"
mkdir -p "$(dirname "$SAMPLE")"
if "$BUILD/src/quillon-cli" demo "$SAMPLE" 2>/dev/null; then
  if [ -x "$BUILD/src/app/quillon" ]; then
    exec "$BUILD/src/app/quillon" "$SAMPLE"
  fi
  exec "$BUILD/src/quillon-cli" info "$SAMPLE"
fi
echo "(Die Beispieldatei kann in dieser Version noch nicht erzeugt werden.)"
"$BUILD/src/quillon-cli" info "$SAMPLE" || true
