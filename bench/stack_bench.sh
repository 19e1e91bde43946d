#!/usr/bin/env bash
# Stacking benchmark, Quillon and Siril side by side on the same generated series: makes the
# data (stack_data), runs siril-cli's calibrate + register + winsorized stack (stack_siril.sh)
# and the same job in `quillon-cli stack` at 64 MB, at AVX-512 and at AVX2 (QUILLON_SIMD),
# alternating with Siril, then Quillon's artefact rule; measures wall time, peak memory and the
# position accuracy of every result against the truth (stack_accuracy.py).
#
#   bench/stack_bench.sh [BUILD_DIR]        (BUILD_DIR defaults to ./build, configured with
#                                            -DQUILLON_BENCH=ON so that bench/stack_data exists)
# Environment: QUILLON_THREADS (both programs; default: the number of cores),
# QUILLON_BENCH_FRAMES (20), QUILLON_BENCH_SIZE (2048), QUILLON_BENCH_DIR (default /dev/shm),
# QUILLON_CLI (default BUILD_DIR/src/quillon-cli), QUILLON_BENCH_KEEP=1 keeps the files.
# QUILLON_BENCH_SIMD ("avx512 avx2"): the levels to run Quillon at.
# The scale run is QUILLON_BENCH_FRAMES=200 QUILLON_BENCH_SIZE=1024; results in
# bench/results_stack.md.
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

# Siril twice (on our files as they are, and on unsigned copies: see stack_siril.sh, Siril
# reads our signed 16-bit files with an offset that disables the flat), each followed by a
# Quillon run, so that a busy machine slows both alike.
# quillon LABEL LEVEL ARGS...: one timed `quillon-cli stack` at instruction-set LEVEL with the
# common inputs, measured for accuracy; appends its row and keeps its wall time and peak.
QUILLON_OK=0
if [ -x "$CLI" ] && "$CLI" stack --help >/dev/null 2>&1; then QUILLON_OK=1; fi
declare -A Q_WALL Q_PEAK Q_CPU
quillon() {
    local label=$1 level=$2 tag
    shift 2
    tag=${label//[^a-zA-Z0-9]/_}
    echo "== quillon-cli stack: $label"
    # Its temporary file of aligned exposures goes to the work folder (TMPDIR), where Siril
    # writes its calibrated and registered frames.
    if ! TMPDIR=$WORK QUILLON_SIMD=$level QUILLON_THREADS=$THREADS /usr/bin/time -v -o "$WORK/q_$tag.time" \
        "$CLI" stack "$WORK/q_$tag.fts" "$@" --dark "$WORK/masters/dark.fit" \
        --flat "$WORK/masters/flat.fit" --flat-factor auto --report "$WORK/q_$tag.csv" \
        "${LIGHTS[@]}" >"$WORK/q_$tag.log" 2>&1; then
        echo "stack_bench.sh: quillon-cli stack failed, see $WORK/q_$tag.log" >&2
        tail -5 "$WORK/q_$tag.log" >&2
        exit 1
    fi
    local rms
    accuracy "$WORK/q_$tag.fts" "quillon-cli, $label" rms
    Q_WALL[$label]=$(seconds "$WORK/q_$tag.time")
    Q_PEAK[$label]=$(peak_mb "$WORK/q_$tag.time")
    Q_CPU[$label]=$(cpu_seconds "$WORK/q_$tag.time")
    ROWS+=("$(row "quillon $label" - - - "${Q_WALL[$label]}" "${Q_CPU[$label]}" \
        "${Q_PEAK[$label]}" "$rms")")
    rm -f "$WORK/q_$tag.fts"
}
# The levels to measure: AVX-512 and AVX2 where the processor has them (QUILLON_BENCH_SIMD
# overrides, e.g. "avx2").
LEVELS=()
for level in ${QUILLON_BENCH_SIMD:-avx512 avx2}; do
    QUILLON_SIMD=$level "$CLI" --version >/dev/null 2>&1 && LEVELS+=("$level")
done
# The same job as Siril's script: calibration, alignment on the two reference stars and the
# average with winsorized sigma clipping at 3 sigma and no normalisation, at the default memory
# limit of 64 MB.
WINSORIZED=(--average --rejection winsorized --sigma "3,3" --normalize none --memory 64)
read -r -a REF_ARGS <<<"$REFS" # "--ref X1,Y1 --ref X2,Y2"

ROWS=()
siril_row() {
    ROWS+=("$(row "$1" "$(step "$2" calibrate)" "$(step "$2" register)" "$(step "$2" stack)" \
        "$(step "$2" total)" "$(steps_cpu "$2")" "$(steps_peak "$2")" "$3")")
}
echo "== siril-cli on our files (calibrate, register, stack; one call per step)"
"$HERE/stack_siril.sh" "$WORK" "$THREADS"
accuracy "$WORK/siril_result.fit" siril SIRIL_RMS
siril_row "siril-cli 1.0" "$WORK/siril_steps.txt" "$SIRIL_RMS"
rm -rf "$WORK/siril"
[ "$QUILLON_OK" = 1 ] && [ ${#LEVELS[@]} -gt 0 ] && quillon "winsorized ${LEVELS[0]}" "${LEVELS[0]}" "${WINSORIZED[@]}" "${REF_ARGS[@]}"
echo "== siril-cli on unsigned copies of them"
"$HERE/stack_siril.sh" "$WORK" "$THREADS" --unsigned
accuracy "$WORK/unsigned/siril_result.fit" "siril, unsigned copies" SIRILU_RMS
siril_row "siril-cli 1.0, unsigned" "$WORK/unsigned/siril_steps.txt" "$SIRILU_RMS"
rm -rf "$WORK/unsigned/siril" "$WORK/unsigned/lights"
if [ "$QUILLON_OK" = 1 ]; then
    for level in "${LEVELS[@]:1}"; do quillon "winsorized $level" "$level" "${WINSORIZED[@]}" "${REF_ARGS[@]}"; done
    # Registered by all stars, as Siril's global star alignment does, instead of by the two
    # reference stars (whose single measurement in the reference exposure every exposure
    # inherits), on exposure 1 as Siril does.
    [ ${#LEVELS[@]} -gt 0 ] && quillon "all stars ${LEVELS[0]}" "${LEVELS[0]}" "${WINSORIZED[@]}" \
        --auto-register --transform similarity --ref-frame 1
    # The artefact rule of the composite window (pairwise, quadratic per pixel).
    [ ${#LEVELS[@]} -gt 0 ] && quillon "artefact ${LEVELS[0]}" "${LEVELS[0]}" --average --reject --memory 64 \
        "${REF_ARGS[@]}"
else
    echo "== quillon-cli stack: not available in $CLI (skipped)"
fi

echo
echo "== $FRAMES exposures of $SIZE x $SIZE, $THREADS threads: wall seconds per step and in all,"
echo "   user + system seconds in all (cpu), peak resident MB (the largest of Siril's steps), rms"
echo "   position error of the check stars in pixels"
row program calibrate register stack total cpu "peak MB" "rms px"
for row in "${ROWS[@]}"; do echo "$row"; done
SIRIL_BEST=$(awk -v a="$(step "$WORK/siril_steps.txt" total)" \
    -v b="$(step "$WORK/unsigned/siril_steps.txt" total 2>/dev/null || true)" \
    'BEGIN {print (b != "" && b < a) ? b : a}')
SIRIL_PEAK=$(steps_peak "$WORK/siril_steps.txt")
SIRIL_CPU=$(steps_cpu "$WORK/siril_steps.txt")
for label in "${!Q_WALL[@]}"; do
    awk -v s="$SIRIL_BEST" -v q="${Q_WALL[$label]}" -v sp="$SIRIL_PEAK" -v qp="${Q_PEAK[$label]}" \
        -v sc="$SIRIL_CPU" -v qc="${Q_CPU[$label]}" -v n="$FRAMES" -v l="$label" 'BEGIN {
        printf "quillon %-18s %.3f s per exposure; Siril / Quillon %.2f wall (Siril'"'"'s faster " \
            "run), %.2f cpu; peak %s MB against Siril %s MB\n", l, q / n, s / (q > 0 ? q : 0.01),
            sc / (qc > 0 ? qc : 0.01), qp, sp}'
done
if [ "${QUILLON_BENCH_KEEP:-0}" != 0 ]; then
    echo "files kept in $WORK (q_*.csv: the per-exposure reports)"
fi
