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
source scripts/screenshot-lib.sh
build=${1:-build}
out=$PWD/docs/agenda-page.png

screenshot_prepare "$build" OrvalisP.exe stand-in-secretariat
"$build/bin/stand-in-secretariat" >"$work/server.log" 2>&1 &
screenshot_pids=$!
address=
for _ in $(seq 100); do
  address=$(sed -n 's/^Stand-in secretariat on //p' "$work/server.log")
  [ -n "$address" ] && break
  sleep 0.1
done
[ -n "$address" ] || { echo "the stand-in secretariat did not start" >&2; exit 1; }
printf '[Form1]\r\nnom_ov=cabinet nord\r\nsite_ov=%s\r\n' "$address" >"$work/serie.ini"

# The visible password box, then the page button "Agenda"; the day is fetched and listed.
screenshot_take "$out" '
  xdotool mousemove --window "$id" 460 101 click 1
  xdotool type --delay 20 "demo"
  xdotool mousemove --window "$id" 377 26 click 1
  xdotool mousemove --window "$id" 640 560
  for _ in $(seq 50); do
    if grep -q "indya.pl" "$work/server.log"; then break; fi
    sleep 0.1
  done
  sleep 0.5
'
grep -q "indya.pl" "$work/server.log" || { echo "the client did not fetch the day" >&2; exit 1; }
echo "wrote $out"
