#!/usr/bin/env bash
# Runs the library tests and the GUI tests once more in an AddressSanitizer +
# UndefinedBehaviorSanitizer build (leak checking included).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${QUILLON_ASAN_DIR:-build-asan}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_GUI=ON -DQUILLON_SANITIZE=ON >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)" -L 'lib|gui'
