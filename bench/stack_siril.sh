#!/usr/bin/env bash
# Runs bench/stack_siril.ssf in siril-cli on a stack_data work folder, one siril-cli call per
# step, each timed with GNU time:
#   bench/stack_siril.sh WORK [THREADS] [--unsigned]
# Prints one line per step (wall seconds, peak resident MB, user + system seconds: steadier
# than the wall time on a busy machine) and writes them to
# WORK/siril_steps.txt; the stacked result is WORK/siril_result.fit, the logs WORK/siril_*.log.
#
# --unsigned runs on copies in WORK/unsigned written the way cameras write 16 bits (unsigned,
# BZERO 32768, the same values), untimed, with everything above landing in WORK/unsigned:
# Siril takes our signed files (BZERO 0) as signed and adds 32768 on reading, which leaves a
# dark subtraction intact but flattens the flat (its relative vignetting nearly vanishes) and
# fills the registration borders with mid-grey.
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WORK=$(cd "${1:?work folder}" && pwd)
THREADS=${2:-$(nproc)}
if [ "${3:-}" = --unsigned ]; then
    mkdir -p "$WORK/unsigned/lights" "$WORK/unsigned/masters"
    /usr/bin/python3 - "$WORK" <<'PY'
import glob, os, sys, warnings
import numpy as np
from astropy.io import fits
work = sys.argv[1]
warnings.simplefilter("ignore")
for src in glob.glob(os.path.join(work, "lights", "*.fit")) + \
        glob.glob(os.path.join(work, "masters", "*.fit")):
    data = fits.getdata(src).astype(np.uint16)  # the values are never negative
    dst = os.path.join(work, "unsigned", os.path.relpath(src, work))
    fits.PrimaryHDU(data).writeto(dst, overwrite=True)
PY
    WORK="$WORK/unsigned"
fi
command -v siril-cli >/dev/null || "$HERE/../scripts/install-deps.sh" --bench
[ -x /usr/bin/time ] || { echo "stack_siril.sh: needs GNU time (/usr/bin/time)" >&2; exit 1; }
rm -rf "$WORK/siril" "$WORK/siril_result.fit"
mkdir -p "$WORK/siril"

SSF="$HERE/stack_siril.ssf"
# The common head: every command line before the first step, with our thread count.
HEAD=$(awk '/^# step:/{exit} /^[^#]/' "$SSF" | sed "s/^setcpu .*/setcpu $THREADS/")
STEPS=$(sed -n 's/^# step: *//p' "$SSF")

: >"$WORK/siril_steps.txt"
total=0
cpu_total=0
for step in $STEPS; do
    body=$(awk -v s="$step" '/^# step:/{on = ($3 == s); next} on && /^[^#]/' "$SSF")
    printf '%s\n%s\n' "$HEAD" "$body" >"$WORK/siril_$step.ssf"
    if ! /usr/bin/time -v -o "$WORK/siril_$step.time" \
        siril-cli -d "$WORK" -s "$WORK/siril_$step.ssf" >"$WORK/siril_$step.log" 2>&1 ||
        ! grep -aq "Script execution finished successfully" "$WORK/siril_$step.log"; then
        echo "stack_siril.sh: step $step failed, see $WORK/siril_$step.log" >&2
        exit 1
    fi
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/{n = split($2, t, ":"); s = 0;
        for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s}' "$WORK/siril_$step.time")
    rss=$(awk -F': ' '/Maximum resident set size/{printf "%.0f", $2 / 1024}' "$WORK/siril_$step.time")
    cpu=$(awk -F': ' '/User time|System time/{s += $2} END {print s}' "$WORK/siril_$step.time")
    total=$(awk -v a="$total" -v b="$wall" 'BEGIN{print a + b}')
    cpu_total=$(awk -v a="$cpu_total" -v b="$cpu" 'BEGIN{print a + b}')
    printf 'siril %-10s %7.2f s  %6d MB peak  %7.2f s cpu\n' "$step" "$wall" "$rss" "$cpu" |
        tee -a "$WORK/siril_steps.txt"
done
printf 'siril %-10s %7.2f s  %6s         %7.2f s cpu\n' total "$total" "" "$cpu_total" |
    tee -a "$WORK/siril_steps.txt"
