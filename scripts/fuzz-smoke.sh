#!/usr/bin/env bash
# Builds every libFuzzer target (fuzz/CMakeLists.txt: one per seed corpus from the format
# table's driver, format_fuzz, and each other fuzz/*_fuzz.cpp) with ASan+UBSan and runs each
# briefly on a copy of its seed corpus fuzz/corpus/<name>/, where <name> is the target without
# "_fuzz". Fails on a crash, leak or timeout.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${QUILLON_FUZZ_DIR:-build-fuzz}
SECONDS_EACH=${QUILLON_FUZZ_SECONDS:-20}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_GUI=OFF -DQUILLON_TESTS=OFF \
  -DQUILLON_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for exe in "$BUILD"/fuzz/*_fuzz; do
  [ -x "$exe" ] || continue
  target=$(basename "$exe")
  name=${target%_fuzz}
  seeds="fuzz/corpus/$name"
  work="$BUILD/fuzz-corpus/$name"
  mkdir -p "$work"
  if [ -d "$seeds" ]; then cp -n "$seeds"/* "$work"/ 2>/dev/null || true; else echo "fuzz-smoke: no seeds for $target"; fi
  echo "fuzz-smoke: $target for ${SECONDS_EACH}s"
  if ! "$BUILD/fuzz/$target" -max_total_time="$SECONDS_EACH" -timeout=60 -rss_limit_mb=2048 \
      -max_len=65536 -artifact_prefix="$BUILD/$target-" "$work" 2>"$BUILD/$target.log"; then
    echo "fuzz-smoke: $target FAILED, see $BUILD/$target.log"
    tail -n 40 "$BUILD/$target.log"
    status=1
  else
    tail -n 2 "$BUILD/$target.log"
  fi
done
exit $status
