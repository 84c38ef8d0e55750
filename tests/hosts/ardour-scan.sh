#!/bin/sh
# SPDX-License-Identifier: MIT
# A real Linux host's plug-in scanner must accept the plug-in as an
# instrument with no audio inputs, two outputs, MIDI in and an editor.
#   ardour-scan.sh path/to/OrvoSwitch.so
# Exits 77 (skipped) where the scanner is not installed.
SCANNER=$(ls /usr/lib/ardour*/ardour-vst-scanner 2>/dev/null | tail -1)
[ -x "$SCANNER" ] || { echo "no ardour-vst-scanner installed"; exit 77; }
PLUGIN=$(realpath "$1")
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# The scanner keeps its cache under HOME; keep ours apart from the user's.
OUT=$(HOME="$WORK" XDG_CACHE_HOME="$WORK/cache" LD_LIBRARY_PATH="$(dirname "$SCANNER")" \
      timeout 120 "$SCANNER" -f -v "$PLUGIN" 2>&1)
echo "$OUT"
for want in 'name="OrvoSwitch"' 'creator="Brimlow"' 'category="Instrument"' 'n_inputs="0"' \
            'n_outputs="2"' 'n_midi_inputs="1"' 'is_instrument="1"' 'can_process_replace="1"' 'has_editor="1"'; do
  echo "$OUT" | grep -q "$want" || { echo "FAIL: scanner did not report $want"; exit 1; }
done
echo "scanner accepted the plug-in"
