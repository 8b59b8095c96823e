#!/usr/bin/env bash
# The Windows simulator at the end of the session, under Wine: wineboot --end-session sends
# WM_QUERYENDSESSION and WM_ENDSESSION to every top-level window and then ends its process, as
# Windows does at logoff. The run's summary must be in the output file by then.
# Usage: scripts/sandbox.sh tests/hostsim/hostsim_session_end_wine.sh PATH/rivect-hostsim.exe
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
hostsim=$1
# A prefix of its own: the end of the session reaches every windowed program in the prefix.
. "$root/tests/windows/wine_prefix.sh"

out="$WINE_WORK/hostsim.out"
bash "$root/scripts/wine_run.sh" "$hostsim" --no-stdin --events >"$out" 2>"$WINE_WORK/hostsim.err" &
sim=$!
for _ in $(seq 600); do
  grep -q listening "$out" && break
  kill -0 "$sim" 2>/dev/null || break
  sleep 0.1
done
expect "the simulator listens" grep -q listening "$out"

wineboot --end-session >"$WINE_WORK/end-session.log" 2>&1
ended=0
for _ in $(seq 300); do
  if ! kill -0 "$sim" 2>/dev/null; then ended=1; break; fi
  sleep 0.1
done
expect "the end of the session ends the run" test "$ended" = 1
expect "the end is told" grep -q " end of session received, ending" "$out"
expect "the summary is written before the process is ended" grep -q " summary: 0 violation(s)" "$out"
[ "$FAILED" -eq 0 ] || { echo "--- output"; cat "$out"; echo "--- errors"; cat "$WINE_WORK/hostsim.err"; }
summary
