#!/usr/bin/env bash
# Builds everything twice (a normal build, and one under AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test of both. Tests run offscreen.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
source scripts/configure-lib.sh
jobs=$(build_jobs)
export QT_QPA_PLATFORM=offscreen

run() {  # run BUILD_DIR [cmake options...]
  local dir=$1; shift
  configure_build "$dir" -DORVALIS_BENCHMARKS=OFF "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}

run build
run build-sanitize -DORVALIS_SANITIZE=ON
