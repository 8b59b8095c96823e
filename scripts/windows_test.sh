#!/usr/bin/env bash
# The Windows build's tests under Wine on a virtual display, run inside the sandbox by
# scripts/windows.sh --test: the tests of what is the same on every OS (CTest label wine), the
# installer (silent install and uninstall in a private prefix), and the installed rivect.exe
# against the Linux host simulator in strict mode over 127.0.0.1.
#   bash scripts/sandbox.sh bash scripts/windows_test.sh OUT_DIR VERSION
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${RIVECT_SANDBOX:-}" != "isolated" ]; then
  echo "windows_test: run me through scripts/sandbox.sh in a network namespace" >&2
  exit 2
fi
out="$1"
version="$2"
work="$(mktemp -d /tmp/rivect-wine.XXXXXX)"
export RIVECT_WINE_PREFIX="$work/prefix"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" WINEDEBUG=-all

xvfb_pid=""
cleanup() {
  WINEPREFIX="$RIVECT_WINE_PREFIX" wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Wine's windows need a display even where Qt draws offscreen.
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
WINEPREFIX="$RIVECT_WINE_PREFIX" wine wineboot -i >/dev/null 2>&1

passed=0
failed=0
step() {  # step NAME COMMAND...: runs one stage and counts it
  local name="$1"; shift
  echo "== $name"
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "windows_test: $name FAILED" >&2; fi
}
step "unit tests under Wine" ctest --test-dir "$out/build" -L wine --output-on-failure -j 2
if [ -f tests/windows/installer_test.sh ]; then
  step "installer" bash tests/windows/installer_test.sh "$out/Rivect-$version-setup.exe"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
