#!/bin/sh
# SPDX-License-Identifier: MIT
# Checks a built OrvoSwitch.dll the way a host's loader sees it:
#   check-pe.sh OBJDUMP DLL FORMAT MAGIC
# FORMAT is objdump's file format (pei-i386, pei-x86-64), MAGIC the optional
# header's magic (010b PE32, 020b PE32+). The DLL must export exactly `main`
# at ordinal 1, name itself OrvoSwitch.dll, and import only system DLLs: a
# host machine has no compiler runtime DLLs.
set -u
objdump=$1 dll=$2 format=$3 magic=$4
fail() { echo "FAIL: $*"; exit 1; }

if [ ! -f "$dll" ]; then echo "skipped: $dll not built"; exit 77; fi
out=$("$objdump" -p "$dll") || fail "$objdump could not read $dll"

echo "$out" | grep -q "file format $format\$" || fail "not $format"
echo "$out" | grep -Eq "^Magic[[:space:]]+$magic" || fail "optional header magic is not $magic"

# The export table's own name, and its names with their ordinals.
echo "$out" | grep -Eq '^Name[[:space:]]+[0-9a-f]+ OrvoSwitch\.dll$' || fail "export table does not name OrvoSwitch.dll"
names=$(echo "$out" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^[[:space:]]+\[')
[ "$(echo "$names" | wc -l)" -eq 1 ] || fail "expected one export, got: $names"
echo "$names" | grep -Eq '^[[:space:]]*\[ +0\] main$' || fail "the export is not main: $names"
echo "$out" | grep -Eq '^Ordinal Base[[:space:]]+1$' || fail "ordinal base is not 1"
echo "$out" | grep -Eq '^[[:space:]]*\[ +0\] \+base\[ +1\]' || fail "main is not at ordinal 1"

allowed='^(KERNEL32|msvcrt|USER32|GDI32|COMCTL32|ADVAPI32|SHELL32|ole32|OLEAUT32|UxTheme|api-ms-win-[a-z0-9-]+)\.dll$'
imports=$(echo "$out" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imports" ] || fail "no imports found"
for lib in $imports; do
  echo "$lib" | grep -Eiq "$allowed" || fail "imports $lib"
done
# 32-bit: the host pops the arguments of the entry point and of the record's
# callbacks (cdecl). A callee-popping `ret $n` in any of them corrupts every
# host's stack. Needs the symbols, which release builds keep.
if [ "$format" = pei-i386 ]; then
  nm=${objdump%objdump}nm
  syms=$("$nm" "$dll" | sed -n 's/^[0-9a-f]* T \(_VSTPluginMain\|__Z[0-9]*\(dispatcher\|process\|processReplacing\|setParameter\|getParameter\)CallbackP7AEffect.*\)$/\1/p')
  [ "$(echo "$syms" | grep -c .)" -eq 6 ] || fail "expected the entry point and five callbacks in the symbols, got: $syms"
  for sym in $syms; do
    code=$("$objdump" -d --disassemble="$sym" "$dll")
    echo "$code" | grep -Eq '[[:space:]]ret[[:space:]]*$' || fail "$sym has no plain ret"
    echo "$code" | grep -Eq '[[:space:]]ret[[:space:]]+\$' && fail "$sym pops its own arguments"
  done
  base=$(echo "$out" | sed -n 's/^ImageBase[[:space:]]*//p')
  rva=$(echo "$out" | sed -n 's/^[[:space:]]*\[ *0\] +base\[ *1\] \([0-9a-f]*\) Export RVA$/\1/p')
  entry=$("$nm" "$dll" | sed -n 's/^\([0-9a-f]*\) T _VSTPluginMain$/\1/p')
  [ $((0x$base + 0x$rva)) -eq $((0x$entry)) ] || fail "main does not lead to the entry point"
fi
echo "ok: $dll exports main @1, imports: $(echo $imports)"
