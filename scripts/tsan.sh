#!/usr/bin/env bash
# Builds the ThreadSanitizer flavour and runs, inside the sandbox, the tests where threads meet:
# the tick timer, the code page converters used from several threads, timing runs with lap
# reports on the real tick thread and real timers, the clock's worker thread and the lap log's
# writer thread. Exits non-zero on any race report.
#   bash scripts/tsan.sh [--build-only | --run-only]
# --run-only takes what an earlier --build-only left in build/tsan, and exits 77 (skipped) when
# it is not there; the test command runs it that way as one of its tests.
set -euo pipefail
cd "$(dirname "$0")/.."
mode="${1:-all}"
programs=(build/tsan/tests/platform/test_tick_thread_timer build/tsan/tests/platform/test_cp932
          build/tsan/tests/reliability/test_reliability_faults build/tsan/tests/reliability/test_reliability_editor
          build/tsan/tests/reliability/test_reliability_clock build/tsan/tests/platform/test_clock_worker
          build/tsan/tests/laplog/test_lap_log)
case "$mode" in
  all|--build-only) bash scripts/build.sh tsan "${programs[@]##*/}" ;;
  --run-only)
    for t in "${programs[@]}"; do
      if [ ! -x "$t" ]; then echo "tsan: $t not built (bash scripts/tsan.sh --build-only)"; exit 77; fi
    done ;;
  *) echo "tsan.sh: unknown option '$mode'" >&2; exit 2 ;;
esac
[ "$mode" = "--build-only" ] && exit 0

# halt_on_error turns the first race into a failed run. The suppressions cover only races
# reported inside uninstrumented libraries (Qt, libproxy), never our own code.
export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:history_size=4:suppressions=$PWD/tests/reliability/tsan.supp"
export QT_QPA_PLATFORM=offscreen

# The sanitizer needs a fixed memory layout on kernels with wide address randomisation.
norandom=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
  norandom=(setarch "$(uname -m)" -R)
fi

status=0
run() {
  echo "== tsan: $*"
  if ! bash scripts/sandbox.sh "${norandom[@]}" "$@"; then
    echo "== tsan: FAILED: $*" >&2
    status=1
  fi
}

run build/tsan/tests/platform/test_tick_thread_timer
run build/tsan/tests/platform/test_cp932 threadsDoNotInterfere
run build/tsan/tests/reliability/test_reliability_faults lapReportsUnderRealTimers hostWithoutRoute
run build/tsan/tests/reliability/test_reliability_editor editorThatStaysOpenDuringARun
# This one starts a D-Bus daemon of its own; the child only executes it.
TSAN_OPTIONS="$TSAN_OPTIONS:die_after_fork=0" run build/tsan/tests/reliability/test_reliability_clock
run build/tsan/tests/platform/test_clock_worker
run build/tsan/tests/laplog/test_lap_log

if [ "$status" -eq 0 ]; then
  echo "== tsan: no data race reported"
fi
exit "$status"
