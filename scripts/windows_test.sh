#!/usr/bin/env bash
# The Windows build's tests under Wine on a virtual display, run inside the sandbox by
# scripts/windows.sh --test: CTest's label wine in the Windows build tree, that is the tests of
# what every OS shares, the programs' resources, the installer, and the installed rivect.exe
# against the Linux host simulator in strict mode over 127.0.0.1.
#   bash scripts/sandbox.sh bash scripts/windows_test.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${RIVECT_SANDBOX:-}" != "isolated" ]; then
  echo "windows_test: run me through scripts/sandbox.sh in a network namespace" >&2
  exit 2
fi
build="$1"
# Wine's windows need a display even where Qt draws offscreen. Tests that start a display of
# their own (the desktop scenario) leave this one alone.
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
# One prefix for the tests that run through the emulator; the installer tests make their own.
. tests/windows/wine_prefix.sh
trap 'wine_cleanup; kill "$xvfb_pid" 2>/dev/null || true' EXIT
ctest --test-dir "$build" -L wine --output-on-failure -j "$(nproc)"
