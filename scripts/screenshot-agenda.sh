#!/usr/bin/env bash
# Takes a picture of the client's agenda page for the README: starts the stand-in secretariat
# and OrvalisP.exe under a virtual X server, from a fresh folder whose "serie.ini" holds the
# login and the server but no password (so the window opens on the settings page), types a
# password, presses "Agenda" and writes docs/agenda-page.png: today's sample day, with
# messages, appointments, home visits and taken slots.
#
#   scripts/screenshot-agenda.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=$PWD/docs/agenda-page.png

if [ ! -x "$build/bin/OrvalisP.exe" ] || [ ! -x "$build/bin/stand-in-secretariat" ]; then
  cmake -S . -B "$build" -G Ninja >/dev/null
  cmake --build "$build" --target OrvalisP stand-in-secretariat
fi

work=$(mktemp -d)
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
cp "$build/bin/OrvalisP.exe" "$work/"
mkdir -m 700 "$work/run"
mkdir -p docs

"$build/bin/stand-in-secretariat" >"$work/server.log" 2>&1 &
server_pid=$!
address=
for _ in $(seq 100); do
  address=$(sed -n 's/^Stand-in secretariat on //p' "$work/server.log")
  [ -n "$address" ] && break
  sleep 0.1
done
[ -n "$address" ] || { echo "the stand-in secretariat did not start" >&2; exit 1; }
printf '[Form1]\r\nnom_ov=cabinet nord\r\nsite_ov=%s\r\n' "$address" >"$work/serie.ini"

# Inside the virtual server: start the client, wait for its window, type the password into the
# visible password box, press "Agenda", let the day come and the list paint, take the window.
XDG_RUNTIME_DIR="$work/run" xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  "$1/OrvalisP.exe" & pid=$!
  trap "kill $pid 2>/dev/null || true" EXIT
  for _ in $(seq 100); do
    if xwininfo -name "Orvalis Pulse" >/dev/null 2>&1; then break; fi
    sleep 0.1
  done
  sleep 1
  id=$(xwininfo -name "Orvalis Pulse" | awk "/Window id:/ {print \$4}")
  xdotool mousemove --window "$id" 460 101 click 1
  xdotool type --delay 20 "demo"
  xdotool mousemove --window "$id" 377 26 click 1
  xdotool mousemove --window "$id" 640 560
  for _ in $(seq 50); do
    if grep -q "indya.pl" "$1/server.log"; then break; fi
    sleep 0.1
  done
  sleep 1
  import -window "$id" "$2"
' _ "$work" "$out"
grep -q "indya.pl" "$work/server.log" || { echo "the client did not fetch the day" >&2; exit 1; }
echo "wrote $out"
