#!/usr/bin/env bash
# Takes a picture of the client's settings page for the README: starts OrvalisP.exe under a
# virtual X server, from a fresh folder (no "serie.ini": the window opens on the settings
# page, as at a first start), and writes docs/settings-page.png.
#
#   scripts/screenshot-settings.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=$PWD/docs/settings-page.png

if [ ! -x "$build/bin/OrvalisP.exe" ]; then
  cmake -S . -B "$build" -G Ninja >/dev/null
  cmake --build "$build" --target OrvalisP
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/bin/OrvalisP.exe" "$work/"
mkdir -m 700 "$work/run"
mkdir -p docs

# Inside the virtual server: start the client, wait for its window, let it paint, take it.
XDG_RUNTIME_DIR="$work/run" xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  "$1/OrvalisP.exe" & pid=$!
  trap "kill $pid 2>/dev/null || true" EXIT
  for _ in $(seq 100); do
    if xwininfo -name "Orvalis Pulse" >/dev/null 2>&1; then break; fi
    sleep 0.1
  done
  sleep 1.5
  id=$(xwininfo -name "Orvalis Pulse" | awk "/Window id:/ {print \$4}")
  import -window "$id" "$2"
' _ "$work" "$out"
echo "wrote $out"
