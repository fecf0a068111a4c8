#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Orvalis Pulse needs, and
# every tool the scripts call, without relying on recommended packages (xvfb-run needs xauth,
# which xvfb only recommends; trayer is the notification area the window checks run against).
# Idempotent: does nothing (and prints nothing) when all is there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6svg6
  libcurl4-openssl-dev
  libvmime-dev dovecot-core dovecot-pop3d
  zlib1g-dev libisal-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libsndfile1-dev libasound2-dev libxcb1-dev
  zip unzip 7zip strace time
  python3 xdg-utils
  xvfb xauth x11-apps x11-utils xdotool imagemagick trayer
  fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
