#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs a Windows test program under wine in one of the build folder's prefixes.
#   run-wine.sh [--win32] --init PREFIX          create the prefix (once per test run)
#   run-wine.sh [--win32] PREFIX program.exe ... run a program in it (77 if not built)
# Without --win32 it is Debian's wine64; with it, the 32-bit Wine that
# scripts/setup.sh unpacks into /opt/orvo-wine32 (ORVO_WINE32_ROOT), which
# is not installed where its loader looks for libraries, so everything it
# needs to find them is set here and nowhere else.
set -e
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINE=/usr/lib/wine/wine64
win32=""
SERVER=/usr/lib/wine/wineserver
if [ "$1" = "--win32" ]; then
  shift
  root=${ORVO_WINE32_ROOT:-/opt/orvo-wine32}
  if [ ! -x "$root/usr/lib/wine/wine" ]; then
    echo "run-wine.sh: no 32-bit Wine in $root (scripts/setup.sh unpacks it there)" >&2
    exit 1
  fi
  # Some machines run no i386 program ("Exec format error") and scripts/setup.sh
  # could not hand them to qemu-i386 either. That is the machine, not the
  # build, so the 32-bit tests skip (77) rather than fail.
  if ! "$root/usr/lib/wine/wineserver32" -v >/dev/null 2>&1; then
    echo "skipped: this kernel runs no 32-bit programs"
    exit 77
  fi
  # The loader finds ntdll, the DLLs and its preloader from its own path.
  WINE=$root/usr/lib/wine/wine
  # Its own 32-bit server: under a 64-bit one the 32-bit loader takes the
  # prefix for a WoW64 one and looks for 64-bit DLLs that are not there.
  SERVER=$root/usr/lib/wine/wineserver32
  export WINESERVER="$SERVER" WINEARCH=win32
  # The i386 X client and font libraries; 64-bit programs skip them.
  export LD_LIBRARY_PATH="$root/usr/lib/i386-linux-gnu:$root/lib/i386-linux-gnu${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
  # A crash ends the process with its report instead of starting winedbg,
  # which never gets going under the emulator and holds the test until
  # ctest's timeout.
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d"
  win32=1
fi
if [ "$1" = "--init" ]; then
  export WINEPREFIX="$2"
  # A server left from an earlier run would go on writing into the folder.
  "$SERVER" -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  "$WINE" wineboot --init >/dev/null 2>&1 || true
  "$SERVER" -w || true
  test -d "$WINEPREFIX/drive_c"
  # A 32-bit prefix has no syswow64: one would mean the 64-bit server got it.
  [ "$WINEARCH" != win32 ] || [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]
  exit 0
fi
export WINEPREFIX="$1"
shift
# 77 tells ctest the Windows program was not built (SKIP_RETURN_CODE).
if [ ! -f "$1" ]; then
  echo "skipped: $1 not built"
  exit 77
fi
if [ -z "$win32" ] || [ ! -e /proc/sys/fs/binfmt_misc/orvo-i386 ]; then
  exec "$WINE" "$@"
fi
# 32-bit Wine under qemu-i386 (scripts/setup.sh): now and then the emulator
# itself fails one of Wine's processes ("qemu: uncaught target signal"; often
# a service of the prefix, whose output lands here too), or a run stalls.
# A program that still finishes well has passed. One that fails or stalls
# with the emulator failing beside it says nothing about the program and is
# run again, twice at most; a failure of its own fails at once. The output
# goes through a file, so a service that outlives the run cannot keep ctest
# waiting on the test's pipe.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for attempt in 1 2 3; do
  status=0
  timeout -k 10 "${ORVO_WINE32_RUN_SECONDS:-150}" "$WINE" "$@" >"$log" 2>&1 || status=$?
  if [ $status -eq 0 ] || { [ $status -ne 124 ] && [ $status -ne 137 ] && ! grep -q '^qemu: uncaught target signal' "$log"; }; then
    cat "$log"
    exit $status
  fi
  echo "run-wine.sh: attempt $attempt under qemu-i386 failed in the emulator (status $status):" >&2
  sed 's/^/  | /' "$log" >&2
done
exit 1
