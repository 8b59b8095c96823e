#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, run and test Rivect.
# Safe to run again: it only installs packages that are missing. Packages named as arguments
# are installed too (scripts/windows.sh names the cross toolchain, Wine and the installer maker).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-svg-dev
  libglib2.0-dev libcanberra-dev qt6-translations-l10n
  fonts-ipafont-gothic fonts-ipafont-mincho
  xvfb xauth x11-utils xdotool openbox imagemagick
  iproute2 util-linux libcap2-bin dbus polkitd python3
  libbenchmark-dev
  dpkg-dev lintian desktop-file-utils appstream gzip
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
