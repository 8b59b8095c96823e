#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, with the Windows Qt and the mingw
# runtime on its DLL path: CMake's emulator for the Windows tests, and the way to start the
# programs by hand. Only inside the sandbox (scripts/sandbox.sh): Wine must never hold the right
# to set the clock.
#   WINEPREFIX        the Wine prefix (required; tests/windows/wine_prefix.sh makes one)
#   RIVECT_QT_PREFIX  the Windows Qt (default ~/.cache/rivect/qt-6.4.2-mingw64)
set -euo pipefail
if [ "${RIVECT_SANDBOX:-}" != "isolated" ] && [ "${RIVECT_SANDBOX:-}" != "not-isolated" ]; then
  echo "wine_run: run me inside scripts/sandbox.sh" >&2
  exit 2
fi
: "${WINEPREFIX:?wine_run: WINEPREFIX is not set}"
qt="${RIVECT_QT_PREFIX:-${RIVECT_CACHE:-$HOME/.cache/rivect}/qt-6.4.2-mingw64}"
winpath() { local p="$1"; echo "Z:${p//\//\\}"; }
dirs=("$qt/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
path=""
for d in "${dirs[@]}"; do path="${path:+$path;}$(winpath "$d")"; done
export WINEPATH="$path"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Without a console window Qt sends its messages, and QtTest its results, to the debugger;
# here they are to reach standard output and standard error.
export QT_FORCE_STDERR_LOGGING=1
# Wine keeps the Unix QT_* variables from Windows programs and passes WINEQT_* on as QT_*.
for v in $(compgen -e); do
  case "$v" in QT_*) export "WINE$v=${!v}" ;; esac
done
exec wine "$@"
