# Sourced by the Wine tests: a private Wine prefix for this run, which neither asks for Mono or
# Gecko nor writes menu entries into this machine's folders, ended with its wineserver.
# With WINE_USER_NAME set (the installer tests use 山田) the prefix's user has that name, so
# that the profile's folders (%APPDATA%, %LOCALAPPDATA%, the install folder) hold it: Wine
# names the profile after $USER when it makes the prefix.
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
if [ -n "${WINE_USER_NAME:-}" ]; then
  export USER=$WINE_USER_NAME LOGNAME=$WINE_USER_NAME
  # Wine converts names to and from Unix by the locale's character set.
  export LC_ALL=C.UTF-8
fi

wine_cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$WINE_WORK"
}
trap wine_cleanup EXIT

# wineboot warns about a missing 32-bit Wine; a 64-bit prefix needs none.
wineboot -i >"$WINE_WORK/wineboot.log" 2>&1 || { cat "$WINE_WORK/wineboot.log" >&2; exit 1; }
wineserver -w

# win_env NAME: a Windows environment variable of the prefix. cmd /u writes UTF-16, so that a
# name outside the console's code page arrives whole.
win_env() { wine cmd /u /c echo "%$1%" 2>/dev/null | iconv -f UTF-16LE -t UTF-8 | tr -d '\r'; }
if [ -n "${WINE_USER_NAME:-}" ] && [[ $(win_env LOCALAPPDATA) != *"\\$WINE_USER_NAME\\"* ]]; then
  echo "FAIL: the prefix's %LOCALAPPDATA% is $(win_env LOCALAPPDATA), not in $WINE_USER_NAME's profile" >&2
  exit 1
fi

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
