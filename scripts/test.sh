#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer, and
# runs every test inside the sandbox (own network namespace, no clock rights, no system bus).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh test
# The package test (label package) checks the .deb this builds from the release flavour.
bash scripts/package.sh
# The ThreadSanitizer tests and the fuzz targets build into trees of their own; ctest runs them.
bash scripts/tsan.sh --build-only
bash scripts/fuzz.sh --build-only
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
exec bash scripts/sandbox.sh ctest --test-dir build/test --output-on-failure -LE bench
