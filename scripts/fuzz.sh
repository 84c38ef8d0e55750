#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a
# bounded time: scripts/fuzz.sh [seconds-per-target] [target ...]
set -e
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-60}
shift 2>/dev/null || true
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target fuzz-engine fuzz-dispatcher fuzz-midifile
TARGETS=${*:-$(ls build/fuzz/tests/fuzz | sed -n 's/^fuzz-\([a-z]*\)$/\1/p')}
status=0
for t in $TARGETS; do
  work="build/fuzz/corpus-$t"
  artifacts="build/fuzz/artifacts-$t/"
  mkdir -p "$work" "$artifacts"
  if build/fuzz/tests/fuzz/fuzz-"$t" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts" "$work" "tests/fuzz/corpus/$t" \
      >"build/fuzz/$t.log" 2>&1; then
    echo "fuzz: $t clean after $(sed -n 's/^stat::number_of_executed_units: *//p' "build/fuzz/$t.log") runs"
  else
    echo "fuzz: $t FAILED (see build/fuzz/$t.log and $artifacts)"
    grep -E "ERROR|SUMMARY|runtime error" "build/fuzz/$t.log" | head -5
    status=1
  fi
done
exit $status
