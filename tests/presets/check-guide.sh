#!/bin/sh
# SPDX-License-Identifier: MIT
# The guide's commands against the tools: every option the guide gives
# orvo-render or orvo-play is one the tool's --help lists, and every preset
# the guide's commands name plays.
#   check-guide.sh GUIDE BUILD
set -e
guide=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in orvo-render orvo-play; do
  "$build/$tool" --help >"$work/help" || fail "$tool --help failed"
  # The tool's name, then its options, wherever the guide writes a command.
  grep -o "$tool\( [^\`|#]*\)\?" "$guide" | grep -o -- '--[a-z][a-z-]*' | sort -u >"$work/options"
  [ -s "$work/options" ] || fail "the guide gives $tool no options"
  while read -r option; do
    grep -q -- "$option\b" "$work/help" || fail "the guide gives $tool $option, which its --help does not list"
  done <"$work/options"
done
grep -o -- '--preset "[^"]*"' "$guide" | sed 's/--preset "\(.*\)"/\1/' | sort -u | while read -r name; do
  "$build/orvo-render" --preset "$name" --tail 0 -q -o "$work/out.wav" >/dev/null || fail "the guide's preset \"$name\" does not play"
done
echo "the guide's commands hold"
