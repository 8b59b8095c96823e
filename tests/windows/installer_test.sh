#!/usr/bin/env bash
# The Windows installer under Wine, in a private prefix whose user has a Japanese name (so the
# paths hold characters outside ASCII): refusing to run while Rivect holds its running mutex,
# also where that mutex may not be opened (a Rivect started elevated); a silent per-user
# upgrade over an older version into LocalAppData that leaves exactly the files of the zip
# beside it and the crew's, with its shortcut and uninstall entry; every installed program
# starting from the installed folder; a silent uninstall that keeps only the crew's files.
# Usage: scripts/sandbox.sh tests/windows/installer_test.sh DIR/Rivect-VERSION-setup.exe
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
setup=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
version=$(basename "$setup" | sed -n 's/^Rivect-\(.*\)-setup\.exe$/\1/p')
zipfile=$(dirname "$setup")/Rivect-$version-win64.zip
if [ -z "$version" ] || [ ! -f "$setup" ] || [ ! -f "$zipfile" ]; then
  echo "usage: $0 DIR/Rivect-VERSION-setup.exe (with DIR/Rivect-VERSION-win64.zip beside it)" >&2
  echo "0 passed, 1 failed"
  exit 1
fi
WINE_USER_NAME=山田
. "$here/wine_prefix.sh"

x86_64-w64-mingw32-gcc -municode -o "$WINE_WORK/hold_mutex.exe" "$here/hold_mutex.c" -ladvapi32 || exit 1
instdir_win="$(win_env LOCALAPPDATA)\\Programs\\Rivect"
instdir=$(winepath -u "$instdir_win" 2>/dev/null)
shortcut=$(winepath -u "$(win_env APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs\\Rivect.lnk" 2>/dev/null)
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Rivect'
echo "install folder: $instdir_win"

# A program that waits for a click (Qt's box when it finds no platform) fails instead of hanging.
run_timed() { timeout -k 5 120 wine "$@" 2>/dev/null; }

holder=""
# hold_mutex [--deny]: the mutex held as a running Rivect holds it, until release_mutex.
hold_mutex() {
  wine "$WINE_WORK/hold_mutex.exe" "$@" "$(winepath -w "$WINE_WORK/held")" 2>/dev/null &
  holder=$!
  for _ in $(seq 600); do
    [ -f "$WINE_WORK/held" ] && return 0
    sleep 0.1
  done
  echo "the mutex holder did not start" >&2
  return 1
}
release_mutex() {
  rm -f "$WINE_WORK/held"
  wait "$holder"
}
status_is() { [ "$1" -eq "$2" ] || { echo "  exit status $1, not $2"; false; }; }

# The mutex of an elevated Rivect: OpenMutexW must really fail with ERROR_ACCESS_DENIED (5)
# here, or the refusals below would prove nothing about it.
hold_mutex --deny
run_timed "$WINE_WORK/hold_mutex.exe" --open
denied=$?
release_mutex
expect "OpenMutexW of the elevated holder's mutex fails with ERROR_ACCESS_DENIED" status_is $denied 5

# Refused over a running Rivect, elevated or not: nothing installed.
for holder_kind in plain --deny; do
  hold_mutex ${holder_kind#plain}
  run_timed "$setup" /S
  refused=$?
  release_mutex
  expect "setup refuses while Rivect runs ($holder_kind holder, exit 3), installs nothing" eval \
    'status_is $refused 3 && [ ! -e "$instdir" ]'
done

# An older version, with a file this one no longer ships, and the crew's files beside it.
old="$WINE_WORK/old"
bash "$here/make_dummy_stage.sh" "$old/stage" "$old/qt" >/dev/null &&
  RIVECT_QT_PREFIX="$old/qt" bash "$root/scripts/windows_pack.sh" "$old/stage" "$old" 0.90 >/dev/null 2>&1 ||
  { echo "the older version could not be packed"; exit 1; }
run_timed "$old/Rivect-0.90-setup.exe" /S
installed=$?
expect "the older version installs" eval 'status_is $installed 0 && [ -f "$instdir/Qt6Xml.dll" ]'
crew_files=(OutMess.txt Rivect.ini 山田のメモ.txt)
printf '[\x8a\xc2\x8b\xab\x90\xdd\x92\xe8]\r\nHostIPNo=127.0.0.1\r\n' >"$instdir/Rivect.ini"
printf 'message\r\n' >"$instdir/OutMess.txt"
printf 'note\r\n' >"$instdir/山田のメモ.txt"

run_timed "$setup" /S
installed=$?
expect "silent setup over the older version succeeds" status_is $installed 0

# The program folder holds what the zip holds, the uninstaller and the crew's files: nothing of
# the older version. The crews' README is the one written for them.
unzip -Z1 "$zipfile" | grep -v '/$' | sed 's#^Rivect/##' | sort >"$WINE_WORK/zip.list"
files_match() {
  (cd "$instdir" && find . -type f | sed 's#^\./##' | sort) >"$WINE_WORK/installed.list"
  (cat "$WINE_WORK/zip.list"; echo uninstall.exe; printf '%s\n' "${crew_files[@]}") | sort |
    diff - "$WINE_WORK/installed.list"
}
expect "the program folder holds the zip's files, uninstall.exe and the crew's files" files_match
expect "README.txt is the crews' Windows README" cmp "$instdir/README.txt" "$root/packaging/windows/README.txt"

# Every program starts from the installed folder, with the DLLs and plugins installed there
# alone; the chart tool draws a chart.
for program in rivect rivect-hostsim rivect-laps; do
  run_timed "$instdir/$program.exe" --help >"$WINE_WORK/help.txt"
  status=$?
  expect "installed $program.exe --help" eval 'status_is $status 0 && grep -qi usage "$WINE_WORK/help.txt"'
done
printf 'lap,lap_ms,best_ms,average_ms\r\n1,92000,92000,92000\r\n2,91000,91000,91500\r\n3,93500,91000,92166\r\n' \
  >"$WINE_WORK/run.csv"
# Qt tells on standard error when it has no folder to read fonts from: the titles would be boxes.
WINEQT_FORCE_STDERR_LOGGING=1 timeout -k 5 120 wine "$instdir/rivect-laps.exe" "$(winepath -w "$WINE_WORK/run.csv")" \
  -o "$(winepath -w "$WINE_WORK/run.png")" --size 640x360 >/dev/null 2>"$WINE_WORK/laps.err"
status=$?
is_png_640x360() {
  python3 - "$WINE_WORK/run.png" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read(24)
sys.exit(0 if data[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", data[16:24]) == (640, 360) else 1)
PY
}
expect "installed rivect-laps.exe draws a chart, with fonts" eval \
  'status_is $status 0 && is_png_640x360 && ! grep -i "font" "$WINE_WORK/laps.err"'

# The shortcut names the program by its path, as target and icon.
shortcut_names_program() {
  [ -f "$shortcut" ] && python3 - "$shortcut" 'Programs\Rivect\rivect.exe' <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
path = sys.argv[2]
sys.exit(0 if path.encode("ascii") in data or path.encode("utf-16-le") in data else 1)
PY
}
expect "Start-menu shortcut to rivect.exe" shortcut_names_program

# reg query speaks the console's code page; the export is UTF-16 and keeps 山田 whole.
wine reg export "$key" "$(winepath -w "$WINE_WORK/uninstall.reg")" /y >/dev/null 2>&1
python3 - "$WINE_WORK/uninstall.reg" >"$WINE_WORK/uninstall.values" <<'PY'
import re, sys
for line in open(sys.argv[1], encoding="utf-16").read().splitlines():
    m = re.fullmatch(r'"((?:[^"\\]|\\.)*)"=(?:"((?:[^"\\]|\\.)*)"|dword:([0-9a-f]{8}))', line)
    if m and m.group(3):
        print(f"{m.group(1)}\tREG_DWORD\t{hex(int(m.group(3), 16))}")
    elif m:
        text = re.sub(r"\\(.)", r"\1", m.group(2))
        print(f"{m.group(1)}\tREG_SZ\t{text}")
PY
reg_value() {
  local name=$1 type=$2 want=$3
  grep -qxF -- "$name	$type	$want" "$WINE_WORK/uninstall.values" ||
    { echo "  $name: $(grep -F -- "$name	" "$WINE_WORK/uninstall.values" || echo missing)"; false; }
}
expect "uninstall entry: name, version, icon, location" eval \
  'reg_value DisplayName REG_SZ Rivect && reg_value DisplayVersion REG_SZ "$version" &&
   reg_value DisplayIcon REG_SZ "$instdir_win\\rivect.exe,0" && reg_value InstallLocation REG_SZ "$instdir_win"'
expect "uninstall entry: commands, no modify or repair" eval \
  'reg_value UninstallString REG_SZ "\"$instdir_win\\uninstall.exe\"" &&
   reg_value QuietUninstallString REG_SZ "\"$instdir_win\\uninstall.exe\" /S" &&
   reg_value NoModify REG_DWORD 0x1 && reg_value NoRepair REG_DWORD 0x1'

# Refused over a running Rivect. _?= keeps the uninstaller in place so that its status is seen.
for holder_kind in plain --deny; do
  hold_mutex ${holder_kind#plain}
  run_timed "$instdir/uninstall.exe" /S "_?=$instdir_win"
  refused=$?
  release_mutex
  expect "uninstall refuses while Rivect runs ($holder_kind holder, exit 3), removes nothing" eval \
    'status_is $refused 3 && [ -f "$instdir/rivect.exe" ] && [ -f "$shortcut" ]'
done

# The uninstaller runs from a copy of itself; wait for every Wine process to end.
run_timed "$instdir/uninstall.exe" /S
wineserver -w
expect "silent uninstall leaves only the crew's files" eval \
  '[ "$(cd "$instdir" && find . -mindepth 1 | sort | tr "\n" " ")" = "$(printf "./%s " "${crew_files[@]}")" ]'
expect "uninstall removes the shortcut and the uninstall entry" eval \
  '[ ! -e "$shortcut" ] && ! wine reg query "$key" >/dev/null 2>&1'

# A folder chosen for Rivect that holds another program's uninstaller: never run, so the crew's
# files there stay.
other_win="$(win_env LOCALAPPDATA)\\Tools"
other=$(winepath -u "$other_win" 2>/dev/null)
mkdir -p "$other"
x86_64-w64-mingw32-gcc -municode -o "$other/uninstall.exe" "$here/foreign_uninstaller.c" || exit 1
printf 'HostIPNo=127.0.0.1\r\n' >"$other/Rivect.ini"
run_timed "$setup" /S "/D=$other_win"
installed=$?
expect "setup into a folder with another program's uninstaller never runs it" eval \
  'status_is $installed 0 && [ ! -e "$other/ran.txt" ] && [ -f "$other/Rivect.ini" ] && [ -f "$other/rivect.exe" ]'
summary
