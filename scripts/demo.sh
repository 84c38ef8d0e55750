#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what is missing, builds, and renders the built-in demo phrase
# through the plug-in to orvo-demo.wav.
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh
sh scripts/build.sh linux win32 win64
if [ -x build/linux/orvo-render ]; then
  build/linux/orvo-render --out "${1:-orvo-demo.wav}"
else
  echo "built:"
  ls -l build/linux/OrvoSwitch.so build/win32/OrvoSwitch.dll build/win64/OrvoSwitch.dll
fi
