#!/bin/sh
# SPDX-License-Identifier: MIT
# The layers only look down: the render core (dsp/) includes nothing but its
# own headers and shares nothing between threads; the instrument includes
# only its own headers and the core's, no format and no editor.
#   check-layers.sh SOURCE_DIR
set -e
top=$1
status=0
# A quoted include must name a file of one of the allowed folders.
check_includes() {
  folder=$1
  shift
  for f in "$top/$folder"/*; do
    grep -o '^#include "[^"]*"' "$f" | sed 's/#include "\(.*\)"/\1/' | while read -r h; do
      found=""
      for allowed in "$@"; do [ -e "$top/$allowed/$h" ] && found=1; done
      [ -n "$found" ] || { echo "$f includes $h, from outside ${*}"; exit 1; }
    done || status=1
  done
}
check_includes dsp dsp
check_includes instrument instrument dsp
if grep -n -E 'std::atomic|<atomic>|<thread>|<mutex>|\basm\b|__asm__' "$top"/dsp/*; then
  echo "the render core is single-threaded and plain C++: no atomics, threads, locks or inline asm"
  status=1
fi
if grep -n -i -E '\b(vst|clap|lv2|AEffect|audioMaster)' "$top"/dsp/* "$top"/instrument/*.h "$top"/instrument/*.cc | grep -v -E '^\S+:[0-9]+:\s*//' ; then
  echo "format words in the render core or the instrument"
  status=1
fi
[ $status -eq 0 ] && echo "dsp/ and instrument/ look only down"
exit $status
