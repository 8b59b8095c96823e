#!/usr/bin/env bash
# The Windows installer under Wine, in a private prefix: a silent per-user install into
# LocalAppData with its shortcut and uninstall entry, exactly the files of the zip beside it; a
# silent uninstall that keeps the crew's Rivect.ini and OutMess.txt; and both refusing to run
# while Rivect holds its running mutex.
# Usage: scripts/sandbox.sh tests/windows/installer_test.sh DIR/Rivect-VERSION-setup.exe
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
setup=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
version=$(basename "$setup" | sed -n 's/^Rivect-\(.*\)-setup\.exe$/\1/p')
zipfile=$(dirname "$setup")/Rivect-$version-win64.zip
if [ -z "$version" ] || [ ! -f "$setup" ] || [ ! -f "$zipfile" ]; then
  echo "usage: $0 DIR/Rivect-VERSION-setup.exe (with DIR/Rivect-VERSION-win64.zip beside it)" >&2
  echo "0 passed, 1 failed"
  exit 1
fi
. "$here/wine_prefix.sh"

x86_64-w64-mingw32-gcc -municode -o "$WINE_WORK/hold_mutex.exe" "$here/hold_mutex.c" || exit 1
win_env() { wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'; }
local_app_data=$(win_env LOCALAPPDATA)
instdir_win="$local_app_data\\Programs\\Rivect"
instdir=$(winepath -u "$instdir_win" 2>/dev/null)
shortcut=$(winepath -u "$(win_env APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs\\Rivect.lnk" 2>/dev/null)
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Rivect'
echo "install folder: $instdir_win"

holder=""
hold_mutex() {
  wine "$WINE_WORK/hold_mutex.exe" "$(winepath -w "$WINE_WORK/held")" 2>/dev/null &
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

# Refused over a running Rivect: nothing installed.
hold_mutex
wine "$setup" /S 2>/dev/null
refused=$?
release_mutex
expect "setup refuses while Rivect runs (exit 3), installs nothing" eval \
  'status_is $refused 3 && [ ! -e "$instdir" ]'

wine "$setup" /S 2>/dev/null
installed=$?
expect "silent setup succeeds" status_is $installed 0

# The program folder holds what the zip holds, and the uninstaller.
unzip -Z1 "$zipfile" | grep -v '/$' | sed 's#^Rivect/##' | sort >"$WINE_WORK/zip.list"
files_match() {
  (cd "$instdir" && find . -type f | sed 's#^\./##' | sort) >"$WINE_WORK/installed.list"
  (cat "$WINE_WORK/zip.list"; echo uninstall.exe) | sort | diff - "$WINE_WORK/installed.list"
}
expect "the program folder holds the zip's files and uninstall.exe" files_match

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

wine reg query "$key" 2>/dev/null | tr -d '\r' >"$WINE_WORK/uninstall.reg"
reg_value() {
  local name=$1 type=$2 want=$3
  grep -qxF -- "    $name    $type    $want" "$WINE_WORK/uninstall.reg" ||
    { echo "  $name: $(grep -F -- "    $name " "$WINE_WORK/uninstall.reg" || echo missing)"; false; }
}
expect "uninstall entry: name, version, icon, location" eval \
  'reg_value DisplayName REG_SZ Rivect && reg_value DisplayVersion REG_SZ "$version" &&
   reg_value DisplayIcon REG_SZ "$instdir_win\\rivect.exe,0" && reg_value InstallLocation REG_SZ "$instdir_win"'
expect "uninstall entry: commands, no modify or repair" eval \
  'reg_value UninstallString REG_SZ "\"$instdir_win\\uninstall.exe\"" &&
   reg_value QuietUninstallString REG_SZ "\"$instdir_win\\uninstall.exe\" /S" &&
   reg_value NoModify REG_DWORD 0x1 && reg_value NoRepair REG_DWORD 0x1'

# What the program writes into its folder.
printf '[\x8a\xc2\x8b\xab\x90\xdd\x92\xe8]\r\nHostIPNo=127.0.0.1\r\n' >"$instdir/Rivect.ini"
printf 'message\r\n' >"$instdir/OutMess.txt"

# Refused over a running Rivect. _?= keeps the uninstaller in place so that its status is seen.
hold_mutex
wine "$instdir/uninstall.exe" /S "_?=$instdir_win" 2>/dev/null
refused=$?
release_mutex
expect "uninstall refuses while Rivect runs (exit 3), removes nothing" eval \
  'status_is $refused 3 && [ -f "$instdir/rivect.exe" ] && [ -f "$shortcut" ]'

# The uninstaller runs from a copy of itself; wait for every Wine process to end.
wine "$instdir/uninstall.exe" /S 2>/dev/null
wineserver -w
expect "silent uninstall leaves only Rivect.ini and OutMess.txt" eval \
  '[ "$(cd "$instdir" && find . -mindepth 1 | sort | tr "\n" " ")" = "./OutMess.txt ./Rivect.ini " ]'
expect "uninstall removes the shortcut and the uninstall entry" eval \
  '[ ! -e "$shortcut" ] && ! wine reg query "$key" >/dev/null 2>&1'
summary
