#!/bin/sh
# SPDX-License-Identifier: MIT
# The editor in a real LV2 host: jalv.gtk3 on a virtual X server whose
# Xft.dpi is 192, against a JACK server of its own (dummy driver). The UI
# must embed at 2x, 930 x 562. Skipped (77) where jalv.gtk3 or jackd is
# missing.
#   xvfb-run -a -s "-noreset ..." jalv-scale.sh LV2_DIR PLUGIN_URI
set -u
lv2dir=$1 uri=$2
for tool in jalv.gtk3 jackd xprop xwininfo; do
  command -v $tool >/dev/null || { echo "skipped: no $tool"; exit 77; }
done
# The server keeps the resource only while it does not reset (-noreset).
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "$(printf 'Xft.dpi:\t192\n')"
server=orvo-jalv-$$
jackd -n $server -d dummy -r 48000 -p 256 >/dev/null 2>&1 &
jack=$!
log=$(mktemp)
trap 'kill $host $jack 2>/dev/null; wait; rm -f "$log"' EXIT
sleep 1
JACK_DEFAULT_SERVER=$server LV2_PATH=$lv2dir jalv.gtk3 "$uri" >"$log" 2>&1 &
host=$!
for i in $(seq 1 100); do
  if xwininfo -root -tree | grep -q '"jalv.gtk3"'; then
    # Give the window its final size: the UI resizes it once embedded.
    sleep 1
    break
  fi
  sleep 0.2
done
tree=$(xwininfo -root -tree)
echo "$tree" | grep -E '[0-9]+x[0-9]+\+' | head -8
if echo "$tree" | grep -A3 '"jalv.gtk3"' | grep -q ' 930x562+'; then
  echo "ok   jalv.gtk3 at Xft.dpi 192 embeds the editor at 930 x 562"
  exit 0
fi
echo "FAIL jalv.gtk3 at Xft.dpi 192 does not show a 930 x 562 editor"
cat "$log"
exit 1
