#!/usr/bin/env bash
# End to end on Windows terms: the installer runs silently into a private Wine prefix, the
# installed rivect.exe under Wine on a virtual display goes through the desktop scenario against
# the Linux simulator in strict mode on 127.0.0.1, and a silent uninstall leaves the settings and
# message files the run wrote. The prefix's user is 山田, so the install folder and the files'
# paths hold characters outside ASCII. Exit 0 passed, 1 failed, 77 skipped (no Xvfb).
# With --stints first, the stints scenario runs instead (pit keys, the lap log, a restart).
# Usage: scripts/sandbox.sh tests/windows/wine_e2e.sh SETUP_EXE HOSTSIM [--stints] [--screen WxH] [--shots DIR]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -lt 2 ]; then
  echo "usage: $0 SETUP_EXE HOSTSIM [scenario options]" >&2
  exit 1
fi
setup=$1
hostsim=$2
shift 2
scenario_script=desktop_scenario.py
if [ "${1:-}" = "--stints" ]; then
  scenario_script=stints_scenario.py
  shift
fi
if ! command -v Xvfb >/dev/null; then
  echo "SKIP: Xvfb is not installed (scripts/setup.sh installs it)"
  exit 77
fi
WINE_USER_NAME=山田
. "$here/wine_prefix.sh"

wine "$setup" /S 2>/dev/null
expect "silent setup" [ $? -eq 0 ]
instdir_win="$(win_env LOCALAPPDATA)\\Programs\\Rivect"
instdir=$(winepath -u "$instdir_win" 2>/dev/null)

python3 "$here/../e2e/$scenario_script" --wine-prefix "$WINEPREFIX" --rivect "$instdir/rivect.exe" \
  --hostsim "$hostsim" "$@"
scenario=$?
[ $scenario -eq 77 ] && exit 77
expect "the scenario under Wine" [ $scenario -eq 0 ]

wine "$instdir/uninstall.exe" /S 2>/dev/null
wineserver -w
if [ "$scenario_script" = stints_scenario.py ]; then
  expect "silent uninstall keeps the settings and the stints file, removes the programs" eval \
    '[ -f "$instdir/Rivect.ini" ] && [ -f "$instdir/Stints.ini" ] && [ ! -e "$instdir/rivect.exe" ]'
else
  expect "silent uninstall keeps Rivect.ini and OutMess.txt, nothing else" eval \
    '[ "$(cd "$instdir" && find . -mindepth 1 | sort | tr "\n" " ")" = "./OutMess.txt ./Rivect.ini " ]'
fi
summary
