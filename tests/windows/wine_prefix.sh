# Sourced by the Wine tests: a private Wine prefix for this run, which neither asks for Mono or
# Gecko nor writes menu entries into this machine's folders, ended with its wineserver.
# Run the sourcing script through scripts/sandbox.sh.
if [ "${RIVECT_SANDBOX:-}" = "" ]; then
  echo "FAIL: run this through scripts/sandbox.sh" >&2
  exit 1
fi
WINE_WORK=$(mktemp -d /tmp/rivect-wine.XXXXXX)
export WINEPREFIX="$WINE_WORK/prefix"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win64

wine_cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$WINE_WORK"
}
trap wine_cleanup EXIT

# wineboot warns about a missing 32-bit Wine; a 64-bit prefix needs none.
wineboot -i >"$WINE_WORK/wineboot.log" 2>&1 || { cat "$WINE_WORK/wineboot.log" >&2; exit 1; }
wineserver -w

PASSED=0
FAILED=0
# expect NAME COMMAND...: runs the check, counts and reports it.
expect() {
  local title=$1
  shift
  if "$@"; then
    PASSED=$((PASSED + 1))
    echo "ok   $title"
  else
    FAILED=$((FAILED + 1))
    echo "FAIL $title"
  fi
}
summary() {
  echo "$PASSED passed, $FAILED failed"
  [ "$FAILED" -eq 0 ]
}
