#!/bin/sh
# Installs what is missing, builds everything and runs every test.
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh
sh scripts/build.sh linux win32 win64
ctest --preset linux -j2
