#!/usr/bin/env bash
# Takes a picture of the client's settings page for the README: starts OrvalisP.exe under a
# virtual X server, from a fresh folder (no "serie.ini": the window opens on the settings
# page, as at a first start), and writes docs/settings-page.png.
#
#   scripts/screenshot-settings.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/screenshot-lib.sh
out=$PWD/docs/settings-page.png

screenshot_prepare "${1:-build}" OrvalisP.exe
screenshot_take "$out"
echo "wrote $out"
