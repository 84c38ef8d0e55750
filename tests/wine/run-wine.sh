#!/bin/sh
# Runs a Windows test program under wine64 in the build folder's prefix.
#   run-wine.sh --init PREFIX          create the prefix (once per test run)
#   run-wine.sh PREFIX program.exe ... run a program in it (77 if not built)
set -e
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINE=/usr/lib/wine/wine64
if [ "$1" = "--init" ]; then
  export WINEPREFIX="$2"
  rm -rf "$WINEPREFIX"
  "$WINE" wineboot --init >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w || true
  test -d "$WINEPREFIX/drive_c"
  exit 0
fi
export WINEPREFIX="$1"
shift
# 77 tells ctest the Windows program was not built (SKIP_RETURN_CODE).
if [ ! -f "$1" ]; then
  echo "skipped: $1 not built"
  exit 77
fi
exec "$WINE" "$@"
