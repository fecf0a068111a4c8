#!/usr/bin/env bash
# Builds the client and the updater and starts the client in a real window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
exec build/bin/OrvalisP.exe
