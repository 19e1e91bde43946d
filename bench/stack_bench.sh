#!/usr/bin/env bash
# Stacking benchmark, Quillon and Siril side by side on the same generated series: makes the
# data (stack_data), runs siril-cli's calibrate + register + stack (stack_siril.sh), then
# `quillon-cli stack` at 64 MB and at 256 MB when the build has it, and measures the position
# accuracy of every result against the truth (stack_accuracy.py).
#
#   bench/stack_bench.sh [BUILD_DIR]        (BUILD_DIR defaults to ./build, configured with
#                                            -DQUILLON_BENCH=ON so that bench/stack_data exists)
# Environment: QUILLON_THREADS (both programs; default: the number of cores),
# QUILLON_BENCH_FRAMES (20), QUILLON_BENCH_SIZE (2048), QUILLON_BENCH_DIR (default /dev/shm),
# QUILLON_CLI (default BUILD_DIR/src/quillon-cli), QUILLON_BENCH_KEEP=1 keeps the files.
# The scale run is QUILLON_BENCH_FRAMES=200 QUILLON_BENCH_SIZE=1024.
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BUILD=$(cd "${1:-build}" && pwd)
THREADS=${QUILLON_THREADS:-$(nproc)}
FRAMES=${QUILLON_BENCH_FRAMES:-20}
SIZE=${QUILLON_BENCH_SIZE:-2048}
CLI=${QUILLON_CLI:-$BUILD/src/quillon-cli}
GEN=$BUILD/bench/stack_data
PY=/usr/bin/python3
BASE=${QUILLON_BENCH_DIR:-/dev/shm}
[ -w "$BASE" ] || BASE=${TMPDIR:-/tmp}
WORK="$BASE/quillon-bench-stack-$$"

[ -x "$GEN" ] || { echo "stack_bench.sh: $GEN missing (configure with -DQUILLON_BENCH=ON and build stack_data)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "stack_bench.sh: needs GNU time (/usr/bin/time)" >&2; exit 1; }
"$HERE/../scripts/install-deps.sh" --bench >/dev/null
if [ "${QUILLON_BENCH_KEEP:-0}" = 0 ]; then trap 'rm -rf "$WORK"' EXIT INT TERM; fi

echo "== data: $FRAMES exposures of $SIZE x $SIZE, $THREADS threads, in $WORK"
"$GEN" "$WORK" "$FRAMES" "$SIZE" "$SIZE"
REFS=$(cat "$WORK/ref_args.txt")
LIGHTS=()
for f in "$WORK"/lights/light_*.fit; do LIGHTS+=("$f"); done

# accuracy RESULT LABEL VAR: prints the measurement and stores its rms error (pixels) in VAR.
accuracy() {
    local line
    line=$("$PY" "$HERE/stack_accuracy.py" "$1" "$WORK/truth.json" --label "$2")
    echo "   $line"
    printf -v "$3" '%s' "$(sed -n 's/.*rms error \([0-9.]*\) px.*/\1/p' <<<"$line")"
}
# seconds TIMEFILE / peak_mb TIMEFILE: wall time and peak resident memory from GNU time -v.
seconds() {
    awk -F': ' '/Elapsed \(wall clock\)/{n = split($2, t, ":"); s = 0;
        for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s}' "$1"
}
peak_mb() { awk -F': ' '/Maximum resident set size/{printf "%.0f", $2 / 1024}' "$1"; }
cpu_seconds() { awk -F': ' '/User time|System time/{s += $2} END {print s}' "$1"; }
# step FILE NAME: the seconds of one Siril step; steps_peak FILE: the largest peak of the steps.
step() { awk -v s="$2" '$2 == s {print $3}' "$1"; }
steps_cpu() { awk '$2 == "total" {print $5}' "$1"; }
steps_peak() { awk '$2 != "total" {if ($5 > m) m = $5} END {print m}' "$1"; }
row() { printf '%-24s %10s %10s %10s %9s %9s %9s %9s\n' "$@"; }

# Siril twice: on our files as they are, and on unsigned copies (see stack_siril.sh: Siril
# reads our signed 16-bit files with an offset that disables the flat).
echo "== siril-cli on our files (calibrate, register, stack; one call per step)"
"$HERE/stack_siril.sh" "$WORK" "$THREADS"
accuracy "$WORK/siril_result.fit" siril SIRIL_RMS
echo "== siril-cli on unsigned copies of them"
"$HERE/stack_siril.sh" "$WORK" "$THREADS" --unsigned
accuracy "$WORK/unsigned/siril_result.fit" "siril, unsigned copies" SIRILU_RMS
ROWS=()
for variant in "siril-cli 1.0|$WORK/siril_steps.txt|$SIRIL_RMS" \
    "siril-cli 1.0, unsigned|$WORK/unsigned/siril_steps.txt|$SIRILU_RMS"; do
    IFS='|' read -r label file rms <<<"$variant"
    ROWS+=("$(row "$label" "$(step "$file" calibrate)" "$(step "$file" register)" \
        "$(step "$file" stack)" "$(step "$file" total)" "$(steps_cpu "$file")" \
        "$(steps_peak "$file")" "$rms")")
done

# ---------------------------------------------------------------------------------------------
# Quillon side. Intended command line (one call does calibration, alignment on the two
# reference stars and the average with artefact removal; without --average the exposures are
# summed and 20 of them clip at 32767):
#   quillon-cli stack OUT.fts --ref X1,Y1 --ref X2,Y2 --reject --average --dark D --flat F \
#       --flat-factor auto [--memory MB] [--report REPORT.csv] FILES...
# It runs only once `quillon-cli stack --help` succeeds; until then the table shows Siril alone.
# ---------------------------------------------------------------------------------------------
if [ -x "$CLI" ] && "$CLI" stack --help >/dev/null 2>&1; then
    for mem in 64 256; do
        echo "== quillon-cli stack --memory $mem"
        # shellcheck disable=SC2086 # REFS holds "--ref X1,Y1 --ref X2,Y2"
        if ! QUILLON_THREADS=$THREADS /usr/bin/time -v -o "$WORK/quillon_$mem.time" \
            "$CLI" stack "$WORK/quillon_$mem.fts" $REFS --reject --average \
            --dark "$WORK/masters/dark.fit" --flat "$WORK/masters/flat.fit" --flat-factor auto \
            --memory "$mem" --report "$WORK/quillon_$mem.csv" "${LIGHTS[@]}" \
            >"$WORK/quillon_$mem.log" 2>&1; then
            echo "stack_bench.sh: quillon-cli stack failed, see $WORK/quillon_$mem.log" >&2
            tail -5 "$WORK/quillon_$mem.log" >&2
            exit 1
        fi
        accuracy "$WORK/quillon_$mem.fts" "quillon-cli, $mem MB" rms
        ROWS+=("$(row "quillon-cli, $mem MB" - - - "$(seconds "$WORK/quillon_$mem.time")" \
            "$(cpu_seconds "$WORK/quillon_$mem.time")" "$(peak_mb "$WORK/quillon_$mem.time")" "$rms")")
        if [ "$mem" = 64 ]; then
            QUILLON_TOTAL=$(seconds "$WORK/quillon_$mem.time")
            QUILLON_CPU=$(cpu_seconds "$WORK/quillon_$mem.time")
        fi
    done
else
    echo "== quillon-cli stack: not available in $CLI (skipped)"
fi

echo
echo "== $FRAMES exposures of $SIZE x $SIZE, $THREADS threads: wall seconds per step and in all,"
echo "   user + system seconds in all (cpu), peak resident MB (the largest of Siril's steps), rms"
echo "   position error of the check stars in pixels"
row program calibrate register stack total cpu "peak MB" "rms px"
for row in "${ROWS[@]}"; do echo "$row"; done
if [ -n "${QUILLON_TOTAL:-}" ]; then
    awk -v s="$(step "$WORK/siril_steps.txt" total)" -v q="$QUILLON_TOTAL" \
        -v sc="$(steps_cpu "$WORK/siril_steps.txt")" -v qc="$QUILLON_CPU" 'BEGIN {
        printf "ratio Siril / Quillon (64 MB): %.2f wall, %.2f cpu (goal: at least 2)\n",
            s / (q > 0 ? q : 0.01), sc / (qc > 0 ? qc : 0.01)}'
fi
if [ "${QUILLON_BENCH_KEEP:-0}" != 0 ]; then
    echo "files kept in $WORK (quillon_64.csv: the per-exposure report of the 64 MB run)"
fi
