#!/usr/bin/env bash
# The icon, version resource and manifest that rivect_windows_resources puts into a program,
# read back under Wine. Builds a probe with the helper as a windowed and as a console program;
# further arguments NAME.exe=GUI|CONSOLE are real programs to check the same way.
# Usage: scripts/sandbox.sh tests/windows/resources_test.sh [PATH.exe=GUI|CONSOLE ...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/wine_prefix.sh"

build="$WINE_WORK/build"
if ! cmake -S "$here/resources" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/packaging/windows/mingw64.cmake" \
     >"$WINE_WORK/build.log" 2>&1 || ! cmake --build "$build" >>"$WINE_WORK/build.log" 2>&1; then
  cat "$WINE_WORK/build.log"
  echo "0 passed, 1 failed"
  exit 1
fi

has_line() { grep -qxF -- "$2" <<<"$1"; }
manifest_has() { grep '^Manifest=' <<<"$1" | grep -qF -- "$2"; }
subsystem_is() {
  local want=2
  [ "$2" = CONSOLE ] && want=3
  # Not grep -q: objdump would get SIGPIPE and pipefail would turn a match into a failure.
  x86_64-w64-mingw32-objdump -p "$1" | grep -E "^Subsystem[[:space:]]+0000000$want" >/dev/null
}

check_program() {
  local exe=$1 kind=$2 name out
  name=$(basename "$exe")
  # The probe reads the file as data: the program itself need not be able to start here.
  out=$(wine "$build/probe-console.exe" "$(winepath -w "$exe")" 2>/dev/null | tr -d '\r')
  expect "$name: version 1.0.0.0 / 1.00, product Rivect" eval \
    'has_line "$out" FixedFileVersion=1.0.0.0 && has_line "$out" FileVersion=1.0.0.0 &&
     has_line "$out" ProductVersion=1.00 && has_line "$out" ProductName=Rivect'
  expect "$name: a description and its own file name" eval \
    '! has_line "$out" FileDescription="<missing>" && grep -q "^FileDescription=." <<<"$out" &&
     has_line "$out" OriginalFilename="$name"'
  expect "$name: icon of 16 to 256 px" has_line "$out" IconSizes=16,20,24,32,40,48,64,128,256
  expect "$name: manifest asInvoker, per-monitor DPI aware, Windows 10 named" eval \
    'manifest_has "$out" "level=\"asInvoker\"" && manifest_has "$out" ">PerMonitorV2, PerMonitor</dpiAwareness>" &&
     manifest_has "$out" ">true/pm</dpiAware>" && manifest_has "$out" "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"'
  expect "$name: $kind subsystem" subsystem_is "$exe" "$kind"
}

check_program "$build/probe-gui.exe" GUI
check_program "$build/probe-console.exe" CONSOLE
# Windows refuses to start a program whose manifest it cannot parse; Wine does so too.
expect "a program with the manifest starts" eval 'wine "$build/probe-gui.exe" >/dev/null 2>&1'
for program in "$@"; do
  check_program "${program%=*}" "${program##*=}"
done
summary
