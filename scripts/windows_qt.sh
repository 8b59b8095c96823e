#!/usr/bin/env bash
# Builds Qt 6.4.2 for 64-bit Windows (mingw-w64) from Debian's own qtbase source package
# (Core, Gui, Widgets, Network, Test and the Windows platform plugin), into a cache outside the tree, and prints the install prefix on its last line.
# A finished build in the cache is reused. The sources come through a private sources list and
# lists folder; the machine's apt sources are never changed.
#   RIVECT_CACHE   the cache folder (default ~/.cache/rivect)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cache="${RIVECT_CACHE:-$HOME/.cache/rivect}"
version=6.4.2
prefix="$cache/qt-$version-mingw64"
stamp="$prefix/.complete"
if [ -f "$stamp" ]; then
  echo "windows_qt: reusing $prefix" >&2
  echo "$prefix"
  exit 0
fi

work="$cache/qt-$version-work"
mkdir -p "$work/apt/lists/partial" "$work/apt/sources" "$work/src"

# deb-src entries for the suites the machine already takes its packages from.
debian_sources() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN{RS=""; ORS="\n\n"} /Types:[^\n]*deb/ && /Suites:[^\n]*bookworm/ && !/Suites:[^\n]*security/ {
           sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
  done
  if [ -f /etc/apt/sources.list ]; then
    awk '$1=="deb" && $0 ~ /bookworm/ && $0 !~ /security/ { $1="deb-src"; print }' /etc/apt/sources.list \
      > "$work/apt/sources/plain.list"
  fi
}
debian_sources > "$work/apt/sources/private.sources"
apt_private=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$work/apt/sources"
             -o "Dir::State::Lists=$work/apt/lists" -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=")

fetch() {  # fetch PACKAGE: unpacks the Debian source of PACKAGE at $version into $work/src
  local pkg="$1" dir
  dir="$(find "$work/src" -maxdepth 1 -type d -name "${pkg}-${version}*" | head -n1)"
  if [ -n "$dir" ]; then echo "$dir"; return; fi
  (cd "$work/src" && apt-get "${apt_private[@]}" source -q "$pkg" >&2)
  dir="$(find "$work/src" -maxdepth 1 -type d -name "${pkg}-${version}*" | head -n1)"
  [ -n "$dir" ] || { echo "windows_qt: no $pkg $version among the Debian sources" >&2; exit 1; }
  echo "$dir"
}
apt-get "${apt_private[@]}" update -q >&2
base_src="$(fetch qt6-base)"

jobs="$(nproc)"
common=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix"
        -DCMAKE_TOOLCHAIN_FILE="$root/packaging/windows/mingw64.cmake"
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF)

cmake -S "$base_src" -B "$work/build-base" "${common[@]}" \
  -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF \
  -DFEATURE_xml=OFF -DFEATURE_openssl=OFF -DFEATURE_tabletevent=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF \
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_system_doubleconversion=OFF >&2
cmake --build "$work/build-base" -j "$jobs" >&2
cmake --install "$work/build-base" >&2

# Qt's licence texts and where its source came from go out with the program.
mkdir -p "$prefix/share/rivect-qt-licence"
cp "$base_src"/LICENSES/*.txt "$prefix/share/rivect-qt-licence/" 2>/dev/null || true
cp "$base_src/debian/copyright" "$prefix/share/rivect-qt-licence/qt6-base.copyright"
ls "$work/src"/*.dsc | xargs -n1 basename > "$prefix/share/rivect-qt-licence/SOURCES"
touch "$stamp"
rm -rf "$work/build-base"
echo "$prefix"
