#!/bin/sh
# SPDX-License-Identifier: MIT
# The bundle as LV2's own tools read it.
#   check-bundle.sh validate BUNDLE      lv2_validate: no error, no warning
#   check-bundle.sh list BUILD URI       lv2ls with LV2_PATH at the build folder
#   check-bundle.sh info BUILD URI       lv2info shows the ports
#   check-bundle.sh presets BUILD URI LIBRARY   lv2info lists every library preset
set -e
mode=$1
out=$(mktemp)
trap 'rm -f "$out"' EXIT
case $mode in
validate)
  bundle=$2
  lv2_validate "$bundle"/*.ttl >"$out" 2>&1 || { cat "$out"; echo "lv2_validate failed" >&2; exit 1; }
  cat "$out"
  # Any complaint fails, about our files or the ones they lean on.
  if grep -Eiq '(^|[^a-z])(error|warning)s?:' "$out"; then
    echo "lv2_validate complains" >&2
    exit 1
  fi
  grep -q 'Found 0 errors' "$out" || { echo "lv2_validate gave no clean count" >&2; exit 1; }
  for f in "$bundle"/*.ttl; do
    if grep -q "Skipping file $f" "$out"; then echo "lv2_validate skipped $f" >&2; exit 1; fi
  done
  ;;
list)
  LV2_PATH=$2 lv2ls 2>/dev/null >"$out"
  cat "$out"
  grep -qx "$3" "$out" || { echo "lv2ls does not list $3" >&2; exit 1; }
  ;;
info)
  # The LV2 definitions beside ours, so that lilv knows the plug-in classes.
  LV2_PATH=$2:/usr/lib/lv2 lv2info "$3" 2>/dev/null >"$out"
  cat "$out"
  fail=0
  expect() { grep -Eq "$1" "$out" || { echo "lv2info shows no line like: $1" >&2; fail=1; }; }
  expect '^[[:space:]]*Name:[[:space:]]+Orvo Switch Table Synth$'
  expect '^[[:space:]]*Class:[[:space:]]+Instrument Plugin$'
  expect '^[[:space:]]*Author:[[:space:]]+Brimlow$'
  expect '^[[:space:]]*Required Features:[[:space:]]+http://lv2plug.in/ns/ext/urid#map$'
  expect 'ui#X11UI$'
  expect '^[[:space:]]*Port 14:$'
  if grep -q '^[[:space:]]*Port 15:' "$out"; then echo "lv2info shows more than 15 ports" >&2; fail=1; fi
  # Symbol and name of every control port, in port order.
  got=$(awk '/^[[:space:]]*Symbol:/ { s = $2 } /^[[:space:]]*Name:/ && s != "" { print s "=" $2; s = "" }' "$out" | tr '\n' ' ')
  want="events=MIDI out_1=Switch out_2=Switch attack=A decay=D sustain=S release=R cutoff=CutOff q=Q type=Type env=Env wave1=Wave1 wave2=Wave2 drag=Drag mix=Mix "
  [ "$got" = "$want" ] || { echo "ports: $got" >&2; echo "want:  $want" >&2; fail=1; }
  expect '0\.5 = "BandPass"'
  expect '0\.333333 = "Saw"|0\.33333334 = "Saw"'
  exit $fail
  ;;
presets)
  LV2_PATH=$2:/usr/lib/lv2 lv2info "$3" 2>/dev/null >"$out"
  # The labels lv2info lists under Presets:, against the library's names.
  awk '/^[[:space:]]*Presets:/ { on = 1; next } on && !NF { on = 0 } on { sub(/^[[:space:]]+/, ""); print }' "$out" | sort >"$out.got"
  grep -v '^#' "$4" | awk -F'|' 'NF > 1 { sub(/^[[:space:]]+/, "", $1); sub(/[[:space:]]+$/, "", $1); print $1 }' | sort >"$out.want"
  trap 'rm -f "$out" "$out.got" "$out.want"' EXIT
  [ "$(wc -l <"$out.want")" -eq 32 ] || { echo "the library has $(wc -l <"$out.want") presets, not 32" >&2; exit 1; }
  diff -u "$out.want" "$out.got" >&2 || { echo "lv2info's presets differ from the library (- missing, + unexpected)" >&2; exit 1; }
  ;;
*)
  echo "usage: check-bundle.sh validate BUNDLE | list BUILD URI | info BUILD URI | presets BUILD URI LIBRARY" >&2
  exit 2
  ;;
esac
