#!/bin/sh
# SPDX-License-Identifier: MIT
# The two libraries of the bundle: the instrument's links no window system,
# so a host that only plays never loads X; each exports its descriptor and
# nothing else.
#   check-libraries.sh OrvoSwitch.so OrvoSwitchUI.so
set -e
dsp=$1 ui=$2
fail=0
needed=$(readelf -d "$dsp" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
echo "$dsp needs: $needed"
for lib in $needed; do
  case $lib in
  libc.so.* | libm.so.* | ld-linux*.so.*) ;;
  *) echo "the instrument's library needs $lib" >&2; fail=1 ;;
  esac
done
if nm -D -u "$dsp" | grep -E ' (X[A-Z]|Xft|Fc|FT_)'; then
  echo "the instrument's library takes the window system's symbols above" >&2
  fail=1
fi
readelf -d "$ui" | grep -q 'NEEDED.*libX11' || { echo "the UI library does not link X11: is $ui the UI?" >&2; fail=1; }
exports() { nm -D --defined-only "$1" | awk '$2 ~ /^[TDBRVW]$/ { print $3 }' | tr '\n' ' '; }
[ "$(exports "$dsp")" = "lv2_descriptor " ] || { echo "$dsp exports: $(exports "$dsp")" >&2; fail=1; }
[ "$(exports "$ui")" = "lv2ui_descriptor " ] || { echo "$ui exports: $(exports "$ui")" >&2; fail=1; }
exit $fail
