#!/usr/bin/env bash
# Builds everything twice (a normal build, and one under AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test of both. Tests run offscreen.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

run() {  # run BUILD_DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DORVALIS_BENCHMARKS=OFF "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}

run build
run build-sanitize -DORVALIS_SANITIZE=ON
