#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the three plug-in binaries (and, in the Linux build, the tools, tests
# and benchmarks) with the CMake presets.
set -e
cd "$(dirname "$0")/.."
for preset in ${*:-linux win32 win64}; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done
