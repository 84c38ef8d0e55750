#!/bin/sh
# SPDX-License-Identifier: MIT
# Fails when the engine library needs a symbol from the plug-in boundary, the
# editor, a window system or any other part of this project: what it takes
# from outside itself must be the C and C++ runtimes'.
#   check-host-free.sh liborvo_engine.a
set -e
lib=$1
defined=$(mktemp) undefined=$(mktemp)
trap 'rm -f "$defined" "$undefined"' EXIT
nm -C --defined-only "$lib" | awk 'NF >= 3 { $1 = ""; $2 = ""; sub(/^  /, ""); print }' | sort -u >"$defined"
nm -C -u "$lib" | sed 's/^ *U //' | sort -u | comm -23 - "$defined" >"$undefined"
[ -s "$undefined" ] || { echo "no undefined symbols at all: is $lib the engine?" >&2; exit 1; }
if grep -E '^(X[A-Z]|Xft|Fc|FT_)|AudioEffect|AEffEditor|Vst|audioMaster|GrEditor|TForm|Platform|createEditor|createEffectInstance|copyText|floatToText|decimalSeparator|fourCharCode|orvo::' "$undefined"; then
  echo "the engine library needs the symbols above from outside the engine" >&2
  exit 1
fi
echo "orvo_engine takes $(wc -l <"$undefined") symbols from outside, all from the runtimes"
