#!/usr/bin/env bash
# Tries the client's and the updater's windows the way a user meets them, under a virtual X
# server, against the stand-in secretariat and a stand-in update host on 127.0.0.1, and takes
# a picture of the screen at each step (PNG files in OUT_DIR):
#
#   01-no-tray-start.png         complete account, no notification area: the window opens
#   02-tray-appears.png          a notification area (trayer) starts later: the icon shows in it
#   03-hidden-in-tray.png        "Réduire" now hides the window; the icon stays
#   04-shown-from-tray.png       a click on the icon brings the window back on the pending entries
#   05-tray-gone.png             the area goes away with the window hidden: the window comes back
#   06-notice.png                "Essai Connexion Orvalis": the notice slides up with its buttons
#   07-updater-download-box.png  updater, the archive is missing on the host: its message box
#   08-updater-not-downloaded.png   then the status text, wrapped in its label; button usable
#   09-updater-engine-error.png  an archive that is no zip file: the engine's error box
#   10-updater-not-installed.png    then the status text; the button stays disabled (greyed)
#
# The updater ends only the client that runs the OrvalisP.exe beside it, under its own user;
# it still runs in a process namespace of its own (unshare), beside the dummy client.
#
#   scripts/screenshot-windows.sh [OUT_DIR]        (default: build-windows/shots)
#
# ORVALIS_DISPLAY (default :91) is the X display to start; ORVALIS_PORT (default 8791) the
# update host's port, built into the updater of build-windows/; the secretariat takes the next.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-windows
out=$(realpath -m "${1:-$build/shots}")
display=${ORVALIS_DISPLAY:-:91}
port=${ORVALIS_PORT:-8791}
secretariat_port=$((port + 1))

source scripts/configure-lib.sh
configure_build "$build" -DORVALIS_BENCHMARKS=OFF -DORVALIS_UPDATE_HOST="127.0.0.1:$port"
cmake --build "$build" --target OrvalisP Update stand-in-secretariat >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$out" "$work/client" "$work/updater" "$work/host/orvalisP" "$work/host/rv"
mkdir -m 700 "$work/run"
export DISPLAY=$display XDG_RUNTIME_DIR=$work/run

Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

shot() { sleep "${2:-1}"; import -window root "$out/$1.png"; echo "  $1.png"; }
mapped() { xwininfo -name "$1" 2>/dev/null | awk '/Map State:/ {print $3}'; }
# A click at a point of a window, given from its top left corner.
click_in() {
  local x y
  x=$(xwininfo -name "$1" | awk '/Absolute upper-left X:/ {print $4}')
  y=$(xwininfo -name "$1" | awk '/Absolute upper-left Y:/ {print $4}')
  xdotool mousemove $((x + $2)) $((y + $3)) click 1
}
wait_for_window() {
  for _ in $(seq 100); do xwininfo -name "$1" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "no window \"$1\"" >&2
  return 1
}

echo "The client, with a complete account, on a desktop without a notification area:"
"$build/bin/stand-in-secretariat" --port "$secretariat_port" >/dev/null & pids+=($!)
cp "$build/bin/OrvalisP.exe" "$work/client/"
printf '[Form1]\r\nnom_ov=dupont\r\npass_ov=s3cret\r\nsite_ov=127.0.0.1:%s\r\nmessage_ov=1\r\nrdv_ov=1\r\nvi_ov=1\r\ne_mail=0\r\nurgent_mess=0\r\nbip_ov=0\r\n' \
  "$secretariat_port" >"$work/client/serie.ini"
(cd "$work/client" && exec ./OrvalisP.exe) >/dev/null 2>&1 & pids+=($!)
wait_for_window "Orvalis Pulse"
shot 01-no-tray-start 1.5
echo "    window: $(mapped "Orvalis Pulse")"

trayer --edge top --align right --widthtype request --height 28 --transparent false >/dev/null 2>&1 & tray=$!
pids+=($tray)
shot 02-tray-appears 3.5
click_in "Orvalis Pulse" 597 533  # "Réduire"
shot 03-hidden-in-tray
echo "    window after Réduire: $(mapped "Orvalis Pulse")"
xdotool mousemove 1268 14 click 1  # the icon, at the right end of the panel
shot 04-shown-from-tray
echo "    window after a click on the icon: $(mapped "Orvalis Pulse")"
click_in "Orvalis Pulse" 597 533
kill "$tray"
shot 05-tray-gone 3.5
echo "    window once the notification area went away: $(mapped "Orvalis Pulse")"

click_in "Orvalis Pulse" 486 36    # "Configurer"
sleep 0.5
click_in "Orvalis Pulse" 225 335   # "Essai Connexion Orvalis"
shot 06-notice 3.5

echo "The updater, against a stand-in update host (a newer date on its page):"
printf '31/12/2099\r\n' >"$work/host/orvalisP/update.html"
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/host" >/dev/null 2>&1 & pids+=($!)
cp "$build/bin/Update.exe" "$build/bin/Update.png" "$work/updater/"
printf '#!/bin/sh\nexec sleep 600\n' >"$work/updater/OrvalisP.exe"
chmod +x "$work/updater/OrvalisP.exe"
touch -d 2020-01-01 "$work/updater/OrvalisP.exe"
if ! unshare -r -pf --mount-proc true 2>/dev/null; then
  echo "  no process namespace here: the updater is not tried" >&2
  exit 0
fi
run_updater() {
  unshare -r -pf --kill-child --mount-proc bash -c 'cd "$1" && ./OrvalisP.exe & cd "$1" && exec ./Update.exe' _ "$work/updater" \
    >/dev/null 2>&1 &
  updater=$!
  pids+=($updater)
  wait_for_window "Mise à jour Orvalis Pulse"
  sleep 1
  click_in "Mise à jour Orvalis Pulse" 60 116  # "Mise à jour"
}
close_box() {  # the message box in front: Return presses its button
  local id
  id=$(xdotool search --name '^Mise à jour$' | tail -1)
  xdotool windowfocus "$id" key Return
}

run_updater  # no archive on the host
shot 07-updater-download-box 2
close_box
shot 08-updater-not-downloaded
kill "$updater"

head -c 3000 /dev/urandom >"$work/host/rv/OrvalisP.zip"  # an archive that is no zip
run_updater
shot 09-updater-engine-error 2
close_box
shot 10-updater-not-installed
kill "$updater"
echo "wrote $out"
