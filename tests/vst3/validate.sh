#!/bin/sh
# validate.sh VALIDATOR BUNDLE [RUNNER...]: every validator test, the
# extensive ones too, must pass (RUNNER: wine for the Windows build).
# 77 (skipped) when the validator is absent.
validator=$1
bundle=$2
shift 2
if [ ! -e "$validator" ]; then
  echo "no validator at $validator: skipped"
  exit 77
fi
out=$("$@" "$validator" -e "$bundle" 2>&1)
echo "$out" | grep -E "^\[|Result" | tail -n 60
echo "$out" | grep -q "tests passed, 0 tests failed"
