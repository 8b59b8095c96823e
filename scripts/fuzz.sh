#!/usr/bin/env bash
# Builds the libFuzzer targets into build/fuzz (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for the given number of seconds (default 10), one after the other, inside the
# sandbox. New inputs go to build/fuzz/corpus-work/<target>; the seeds in fuzz/corpus are only
# read. Findings land in build/fuzz/artifacts/<target>/; the script then exits non-zero.
#   bash scripts/fuzz.sh [seconds] [target...]
#   bash scripts/fuzz.sh --build-only
#   bash scripts/fuzz.sh --run-only seconds target...   (what --build-only left; 77 when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
mode=all
case "${1:-}" in
  --build-only|--run-only) mode="$1"; shift ;;
esac
seconds="${1:-10}"
shift || true

if [ "$mode" != "--run-only" ]; then
  bash scripts/setup.sh
  cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DRIVECT_FUZZ=ON -DRIVECT_TESTS=OFF -DRIVECT_SANITIZE=OFF >/dev/null
  cmake --build build/fuzz --target rivect_fuzzers -j "$(nproc)"
fi
[ "$mode" = "--build-only" ] && exit 0

targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  targets=(fuzz_lap_report fuzz_registration fuzz_cp932 fuzz_leading_number fuzz_date_time
           fuzz_profile_file fuzz_messages)
fi
if [ "$mode" = "--run-only" ]; then
  for t in "${targets[@]}"; do
    if [ ! -x "build/fuzz/fuzz/$t" ]; then echo "fuzz: $t not built (bash scripts/fuzz.sh --build-only)"; exit 77; fi
  done
fi

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
export LC_ALL=C.UTF-8

failed=()
summary=()
for t in "${targets[@]}"; do
  work="build/fuzz/corpus-work/$t"
  artifacts="build/fuzz/artifacts/$t"
  log="build/fuzz/logs/$t.log"
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  echo "fuzz: $t for ${seconds}s"
  status=0
  # The first corpus folder receives new inputs; the seed folder is only read.
  bash scripts/sandbox.sh "build/fuzz/fuzz/$t" -max_total_time="$seconds" -timeout=25 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" "fuzz/corpus/$t" >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  line="$t: ${execs:-?} executions"
  if [ "$status" -ne 0 ]; then
    line="$line, FINDING (exit $status, log $log, artifacts $artifacts/)"
    failed+=("$t")
    grep -E 'ERROR|FUZZ CHECK|runtime error|Test unit written' "$log" | head -n 5 >&2 || true
  fi
  echo "fuzz: $line"
  summary+=("$line")
done

echo "fuzz: summary"
printf '  %s\n' "${summary[@]}"
if [ "${#failed[@]}" -gt 0 ]; then
  echo "fuzz: findings in ${failed[*]}" >&2
  exit 1
fi
