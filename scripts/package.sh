#!/usr/bin/env bash
# Builds the Debian package build/package/rivect_<version>_<arch>.deb from the release build:
# the programs, desktop entry, icon, man pages, notes, and the polkit rule and limits for the
# group rivect. Installs what is missing first, as the other scripts do.
#   bash scripts/package.sh
# Then: apt install ./build/package/rivect_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release
out="$PWD/build/package"
mkdir -p "$out"
rm -f "$out"/rivect_*.deb
# CPack installs into a staging tree of its own under the prefix /usr; every file in the
# package belongs to root whoever runs this.
(cd build/release && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
ls "$out"/rivect_*.deb
