#!/usr/bin/env bash
# Starts the stand-in secretariat on 127.0.0.1 with a small sample agenda, so the client can be
# watched at work without the real server. It prints the address to type into the client's
# server field; Ctrl-C stops it.
#
#   scripts/secretariat-server.sh [--port N] [--login L --password P]
#
# Without --port a free port is taken. Without --login any login and password are accepted.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/configure-lib.sh
build=${ORVALIS_BUILD_DIR:-build}
configure_build "$build"
cmake --build "$build" --target stand-in-secretariat >/dev/null
exec "$build/bin/stand-in-secretariat" "$@"
