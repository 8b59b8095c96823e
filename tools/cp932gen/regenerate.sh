#!/usr/bin/env bash
# Rebuilds src/platform/cp932_table.inc from Windows' own code page 932 conversion: cross-builds
# cp932dump.exe, runs it under Wine in the sandbox with a throw-away prefix, and turns its output
# into the table. Needs g++-mingw-w64-x86-64-posix and wine64; the normal build needs neither.
set -euo pipefail
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
x86_64-w64-mingw32-gcc-posix -O2 -Wall -o "$work/cp932dump.exe" tools/cp932gen/cp932dump.c
mkdir "$work/prefix"
run() {
  bash scripts/sandbox.sh env WINEPREFIX="$work/prefix" WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$@"
}
run "$wine" "$work/cp932dump.exe" >"$work/dump" 2>"$work/wine.log" || { tail -20 "$work/wine.log" >&2; exit 1; }
run wineserver -k || true
python3 tools/cp932gen/make_table.py "$work/dump" >"$work/table.inc"
mv "$work/table.inc" src/platform/cp932_table.inc
echo "regenerate: src/platform/cp932_table.inc written ($(wc -l <src/platform/cp932_table.inc) lines)"
