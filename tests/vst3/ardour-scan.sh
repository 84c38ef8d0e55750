#!/bin/sh
# SPDX-License-Identifier: MIT
# A real Linux host's VST 3 scanner must index the bundle as an instrument
# with no audio inputs, two outputs and MIDI in.
#   ardour-scan.sh path/to/OrvoSwitch.vst3
# Exits 77 (skipped) where the scanner is not installed.
SCANNER=$(ls /usr/lib/ardour*/ardour-vst3-scanner 2>/dev/null | tail -1)
[ -x "$SCANNER" ] || { echo "no ardour-vst3-scanner installed"; exit 77; }
BUNDLE=$(realpath "$1")
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# The scanner keeps its cache under HOME; keep ours apart from the user's.
OUT=$(HOME="$WORK" XDG_CACHE_HOME="$WORK/cache" LD_LIBRARY_PATH="$(dirname "$SCANNER")" \
      timeout 120 "$SCANNER" -f -v "$BUNDLE" 2>&1)
echo "$OUT"
for want in 'name="Orvo Switch Table Synth"' 'vendor="Brimlow"' 'category="Instrument|Synth"' 'n_inputs="0"' \
            'n_outputs="2"' 'n_midi_inputs="1"' 'n_midi_outputs="0"'; do
  echo "$OUT" | grep -qF "$want" || { echo "FAIL: scanner did not report $want"; exit 1; }
done
echo "scanner indexed the bundle"
