#!/bin/sh
# Peak resident memory and time of `quillon-cli master --method median` over 20 int16 frames
# of 2048 x 2048 (dark-like noise around 900 with a few hot pixels), written as plain FITS.
# Usage: bench/master_memory.sh [path/to/quillon-cli] [method]   (needs GNU time: /usr/bin/time)
set -eu
CLI=${1:-build/src/quillon-cli}
METHOD=${2:-median}
DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT INT TERM

/usr/bin/python3 - "$DIR" <<'PY'
import os, sys
side, frames = 2048, 20
cards = ["SIMPLE  =                    T", "BITPIX  =                   16",
         "NAXIS   =                    2", "NAXIS1  = %20d" % side, "NAXIS2  = %20d" % side, "END"]
header = "".join(c.ljust(80) for c in cards).ljust(2880).encode("ascii")
n = side * side
for f in range(frames):
    data = bytearray(os.urandom(2 * n))
    data[0::2] = b"\x03" * n               # big-endian samples 768 .. 1023
    for k in range(200):                   # hot pixels, different in every frame
        i = int.from_bytes(os.urandom(4), "big") % n
        data[2 * i] = 0x70
    data += bytes(-len(data) % 2880)
    with open(os.path.join(sys.argv[1], "frame%02d.fts" % f), "wb") as out:
        out.write(header)
        out.write(data)
PY

TMPDIR="$DIR" /usr/bin/time -v "$CLI" master "$DIR/master.fts" "$DIR"/frame*.fts \
    --method "$METHOD" >/dev/null 2>"$DIR/time.txt" || { cat "$DIR/time.txt"; exit 1; }
grep -E "Maximum resident set size|Elapsed \(wall clock\)|User time|System time" "$DIR/time.txt"
