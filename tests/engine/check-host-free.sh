#!/bin/sh
# SPDX-License-Identifier: MIT
# Fails when the render core and the instrument need a symbol from a plug-in
# format, the editor, a window system or any other part of this project:
# what the two take from outside themselves must be the C and C++ runtimes'.
#   check-host-free.sh liborvo_dsp.a liborvo_instrument.a
set -e
defined=$(mktemp) undefined=$(mktemp)
trap 'rm -f "$defined" "$undefined"' EXIT
for lib in "$@"; do
  nm -C --defined-only "$lib" | awk 'NF >= 3 { $1 = ""; $2 = ""; sub(/^  /, ""); print }'
done | sort -u >"$defined"
for lib in "$@"; do nm -C -u "$lib" | sed 's/^ *U //'; done | sort -u | comm -23 - "$defined" >"$undefined"
[ -s "$undefined" ] || { echo "no undefined symbols at all: are $* the engine's libraries?" >&2; exit 1; }
if grep -E '^(X[A-Z]|Xft|Fc|FT_)|AudioEffect|AEffEditor|Vst|audioMaster|GrEditor|TForm|Platform|createEditor|createEffectInstance|fourCharCode|clap_|LV2|orvo::' "$undefined"; then
  echo "the engine's libraries need the symbols above from outside themselves" >&2
  exit 1
fi
echo "the render core and the instrument take $(wc -l <"$undefined") symbols from outside, all from the runtimes"
