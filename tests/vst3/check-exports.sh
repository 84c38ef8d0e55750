#!/bin/sh
# SPDX-License-Identifier: MIT
# Checks a built VST 3 module the way a host's loader sees it:
#   check-exports.sh OBJDUMP MODULE
# It must export the factory and the system's load and unload calls and
# nothing else, and need nothing a user's machine lacks: on Linux the C
# library and the X client libraries of the editor, on Windows the system
# DLLs (the compiler runtime is linked in).
set -u
objdump=$1 lib=$2
fail() { echo "FAIL: $*"; exit 1; }
if [ ! -f "$lib" ]; then echo "skipped: $lib not built"; exit 77; fi
out=$("$objdump" -p "$lib") || fail "$objdump could not read $lib"

if echo "$out" | grep -q "file format pei-"; then
  names=$(echo "$out" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
  [ "$names" = "ExitDll GetPluginFactory InitDll " ] || fail "exports: $names"
  allowed='^(KERNEL32|msvcrt|USER32|GDI32|COMCTL32|api-ms-win-[a-z0-9-]+)\.dll$'
  for dep in $(echo "$out" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    echo "$dep" | grep -Eiq "$allowed" || fail "imports $dep"
  done
else
  exports=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort | tr '\n' ' ')
  [ "$exports" = "GetPluginFactory ModuleEntry ModuleExit " ] || fail "exports: $exports"
  allowed='^(libc\.so\.6|libm\.so\.6|ld-linux-(x86-64|aarch64)\.so\.[12]|libX11\.so\.6|libXft\.so\.2|libfontconfig\.so\.1)$'
  for dep in $(echo "$out" | sed -n 's/^[[:space:]]*NEEDED[[:space:]]*//p'); do
    echo "$dep" | grep -Eq "$allowed" || fail "needs $dep"
  done
fi
echo "ok: $lib exports the factory and its load calls only and needs only the system's libraries"
