#!/bin/sh
# SPDX-License-Identifier: MIT
# Instructions per rendered frame, counted by callgrind: deterministic and
# the same on any x86-64 machine for the same build. Counts only the render
# calls (blocks of BLOCK frames, 512 unless set, through processReplacing),
# not set-up, tables or the benchmark's rewinding of counters between blocks
# (collection toggles off inside orvo_keep_situation).
#
#   [BLOCK=n] [FRAMES=n] bench/callgrind-frame.sh [build-dir] [situation ...]
# Situations: 0 silent, 1 one voice sustaining, 2 one voice in attack,
# 3 two voices sustaining, 4 two voices, one releasing, one attacking and
# gliding, 5 two voices, one releasing, one sustaining and gliding.
# Default: 0 and 4 and 3.
set -e
BUILD=${1:-build/linux}
[ $# -gt 0 ] && shift
SITUATIONS=${*:-0 3 4}
BIN="$BUILD/bench/orvo-frame-count"
[ -x "$BIN" ] || { echo "no $BIN: build the orvo-frame-count target first" >&2; exit 1; }
FRAMES=${FRAMES:-262144}
BLOCK=${BLOCK:-512}
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT
for s in $SITUATIONS; do
  # Two lengths; the difference cancels the cost of entering the measured
  # function, leaving the cost of the frames alone.
  for n in "$FRAMES" $((FRAMES * 2)); do
    valgrind --tool=callgrind --callgrind-out-file="$OUT/cg.$s.$n" --toggle-collect=orvo_measured_render \
      --toggle-collect=orvo_keep_situation \
      "$BIN" "$s" "$n" "$BLOCK" >"$OUT/name.$s" 2>"$OUT/log.$s.$n"
  done
  a=$(sed -n 's/^summary: *//p' "$OUT/cg.$s.$FRAMES")
  b=$(sed -n 's/^summary: *//p' "$OUT/cg.$s.$((FRAMES * 2))")
  awk -v a="$a" -v b="$b" -v n="$FRAMES" -v name="$(cat "$OUT/name.$s")" \
    -v block="$BLOCK" 'BEGIN { printf "%-26s %8.1f instructions per frame (blocks of %d)\n", name, (b - a) / n, block }'
done
