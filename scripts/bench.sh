#!/usr/bin/env bash
# Builds the benchmarks (scripts/build.sh bench) and runs them all inside the sandbox (loopback
# only, no right to set the clock), printing every figure with its baseline.
#   scripts/bench.sh            full durations: 60 s per timing phase, a 5-minute run (~12 min)
#   scripts/bench.sh --quick    a few seconds each, a smoke test for CI
#   scripts/bench.sh --only NAME [ARGS...]   one program (bench_x11_cost, ...) with its own options
#   scripts/bench.sh --only wine_cadence [--hold S | --quick]   status cadence and CPU of the Linux
#       release build beside the Windows build under Wine (build/windows/Rivect-*-setup.exe, made by
#       scripts/windows.sh; without it the Linux side alone)
#   scripts/bench.sh --only panel_cost [--hold S] [--runs N] [--lap-s S] [--quick]   status cadence and
#       CPU of the Linux release build with the pit panel (--stints) and without it, runs alternating
# The output is also written to build/bench/bench-results.txt (--only: build/bench/NAME-results.txt).
set -euo pipefail
cd "$(dirname "$0")/.."

mode=()
programs=(bench_tick bench_status bench_lap_screen bench_run_cost bench_x11_cost bench_hot_paths)
case "${1:-}" in
  "") ;;
  --quick) mode=(--quick) ;;
  --only)
    [ -n "${2:-}" ] || { echo "usage: scripts/bench.sh --only NAME [ARGS...]" >&2; exit 2; }
    programs=("$2")
    mode=("${@:3}")
    ;;
  *) echo "usage: scripts/bench.sh [--quick | --only NAME [ARGS...]]" >&2; exit 2 ;;
esac

if [ -z "${RIVECT_SANDBOX:-}" ]; then
  bash scripts/setup.sh
  exec bash scripts/sandbox.sh bash "$0" "$@"
fi

if [ "${programs[*]}" = wine_cadence ]; then
  bash scripts/build.sh release rivect rivect-hostsim
  setup=$(ls build/windows/Rivect-*-setup.exe 2>/dev/null | tail -n 1 || true)
  mode=(--rivect build/release/src/app/rivect --hostsim build/release/tools/hostsim/rivect-hostsim
        --setup "${setup:-build/windows/Rivect-1.00-setup.exe}" "${mode[@]}")
  bin=bench
  programs=(wine_cadence.py)
elif [ "${programs[*]}" = panel_cost ]; then
  bash scripts/build.sh release rivect rivect-hostsim
  mode=(--rivect build/release/src/app/rivect --hostsim build/release/tools/hostsim/rivect-hostsim "${mode[@]}")
  bin=bench
  programs=(panel_cost.py)
elif [ "${#programs[@]}" -eq 1 ]; then
  bash scripts/build.sh bench "${programs[0]}"
  bin=build/bench/bench
else
  bash scripts/build.sh bench
  bin=build/bench/bench
fi
out=build/bench/bench-results.txt
[ "${#programs[@]}" -eq 1 ] && out="build/bench/${programs[0]%.py}-results.txt"
mkdir -p build/bench

export QT_QPA_PLATFORM=offscreen
export LC_ALL=C.UTF-8
XDG_RUNTIME_DIR="$(mktemp -d)"
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT

{
  echo "scripts/bench.sh ${mode[*]:-} at $(date -u '+%Y-%m-%d %H:%M:%S UTC'), sandbox: $RIVECT_SANDBOX"
  echo "machine: nproc $(nproc), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), kernel $(uname -r)"
  echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
  status=0
  for b in "${programs[@]}"; do
    echo
    echo "######## $b"
    "$bin/$b" "${mode[@]}" || { echo "$b failed with status $?"; status=1; }
  done
  echo
  echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
  exit "$status"
} 2>&1 | tee "$out"
