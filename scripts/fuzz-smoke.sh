#!/usr/bin/env bash
# Builds every libFuzzer target (clang, ASan + UBSan) and runs each briefly on its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${QUILLON_FUZZ_DIR:-build-fuzz}
SECONDS_EACH=${QUILLON_FUZZ_SECONDS:-20}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_GUI=OFF \
  -DQUILLON_TESTS=OFF -DQUILLON_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
ran=0
for src in fuzz/*_fuzz.cpp; do
  name=$(basename "$src" .cpp)
  corpus_name=${name%_fuzz}
  work=$(mktemp -d)
  if [ -d "fuzz/corpus/$corpus_name" ]; then cp -r "fuzz/corpus/$corpus_name/." "$work/"; fi
  echo "fuzz-smoke: $name for ${SECONDS_EACH}s"
  if "$BUILD/fuzz/$name" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 -timeout=10 "$work" \
       >"$work.log" 2>&1; then
    ran=$((ran + 1))
  else
    echo "fuzz-smoke: $name FAILED"; tail -40 "$work.log"; failed=$((failed + 1))
  fi
  rm -rf "$work" "$work.log"
done
echo "fuzz-smoke: $ran passed, $failed failed"
[ "$failed" -eq 0 ]
