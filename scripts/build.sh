#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the plug-in binaries for every platform with the CMake presets: the
# Linux build also gets the tools, tests and benchmarks, the Windows and ARM
# builds the programs the Linux build's tests run under wine and qemu, the web
# build the module, page and Node renderer those tests load.
set -e
cd "$(dirname "$0")/.."
for preset in ${*:-linux win32 win64 aarch64 i686 web}; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done
