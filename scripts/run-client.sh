#!/usr/bin/env bash
# Builds the client and the updater (those two programs only: no tests, no benchmarks) and
# starts the client in a real window. The window needs an X display: without one the script
# says so and stops before building anything. A client already running for this user makes
# the one started here end at once, silently (one client per user).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'TEXT'
run-client.sh: no X display (DISPLAY is not set), so the client's window cannot open.
Start it from a graphical session (or a terminal inside one), over "ssh -X", or under a
virtual display whose window nobody sees, for instance:
    xvfb-run -a scripts/run-client.sh
TEXT
  exit 1
fi

scripts/install-deps.sh
source scripts/configure-lib.sh
configure_build build
cmake --build build -j "$(build_jobs)" --target OrvalisP Update
exec build/bin/OrvalisP.exe
