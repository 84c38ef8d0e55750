#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what is missing, builds everything and runs every test: the five
# builds and their tests (the Windows ones under wine, the ARM ones under
# qemu, the web one under Node and headless Chromium), the whole suite again
# under ASan+UBSan and under TSan, and each fuzzer for a bounded time.
#   scripts/test.sh          everything (what CI runs)
#   scripts/test.sh --quick  only the ordinary build and its tests
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh
sh scripts/build.sh linux win32 win64 aarch64 web
ctest --preset linux -j2
[ "$1" = "--quick" ] && exit 0

# The Windows and ARM programs under wine and qemu (the sanitizers would see
# only the Linux side, which other tests cover) and the outside hosts (which
# cannot load a sanitizer-built module) are left to the ordinary run above,
# and so are the install and package checks: a sanitized build is not one to
# install.
NOT_SANITIZED='^(wine\.|web\.|boundary\.win(32|64)_exports|boundary\.windows_host|engine\.session\.(windows|aarch64)|engine\.aarch64|editor\.win(32|64)\.|hosts\.|clap\.((linux|win32|win64|aarch64)_exports|windows_host|editor\.win)|vst3\.((linux|win32|win64|aarch64)_exports|aarch64_host|windows_|validator|ardour_scanner|editor\.win)|lv2\.(libraries|ui\.jalv-scale)|play\.jack\.xruns|install\.(layout|deb|windows))'
for preset in asan tsan; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
  ctest --preset "$preset" -j2 -E "$NOT_SANITIZED"
done
sh scripts/fuzz.sh "${ORVO_FUZZ_SECONDS:-60}"
