# Shared by the screenshot scripts, sourced from the project's root folder.
#
# screenshot_prepare BUILD TARGET...
#   builds the targets when one of them is missing from BUILD/bin, and makes $work: a fresh
#   folder holding OrvalisP.exe, removed at exit (after the processes in $screenshot_pids end).
# screenshot_take OUT [ACTIONS]
#   under a virtual X server, starts the client in $work, waits for its window, runs ACTIONS
#   (bash text, with $id the window and $work the folder), lets it paint and takes the window
#   into OUT.

source scripts/configure-lib.sh

screenshot_pids=

screenshot_cleanup() {
  for pid in $screenshot_pids; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}

screenshot_prepare() {
  local build=$1
  shift
  local target
  for target in "$@"; do
    if [ ! -x "$build/bin/$target" ]; then
      configure_build "$build"
      cmake --build "$build" --target "$@"
      break
    fi
  done
  work=$(mktemp -d)
  trap screenshot_cleanup EXIT
  cp "$build/bin/OrvalisP.exe" "$work/"
  mkdir -m 700 "$work/run"
  mkdir -p docs
}

screenshot_take() {
  XDG_RUNTIME_DIR="$work/run" xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -euo pipefail
    work=$1
    "$work/OrvalisP.exe" & pid=$!
    trap "kill $pid 2>/dev/null || true" EXIT
    for _ in $(seq 100); do
      if xwininfo -name "Orvalis Pulse" >/dev/null 2>&1; then break; fi
      sleep 0.1
    done
    sleep 1
    id=$(xwininfo -name "Orvalis Pulse" | awk "/Window id:/ {print \$4}")
    eval "$3"
    sleep 0.5
    import -window "$id" "$2"
  ' _ "$work" "$1" "${2:-}"
}
