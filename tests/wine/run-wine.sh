#!/bin/sh
# Runs a Windows test program under wine64 in the build folder's prefix.
#   run-wine.sh --init PREFIX          create the prefix (once per test run)
#   run-wine.sh PREFIX program.exe ... run a program in it
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
exec "$WINE" "$@"
