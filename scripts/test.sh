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
sh scripts/build.sh linux win32 win64 aarch64 i686 web
ctest --preset linux -j2
[ "$1" = "--quick" ] && exit 0

# The Windows and ARM programs under wine and qemu (the sanitizers would see
# only the Linux side, which other tests cover) and the outside hosts (which
# cannot load a sanitizer-built module) are left to the ordinary run above,
# and so are the install and package checks: a sanitized build is not one to
# install.
# One group only: ctest's regular expressions allow at most nine, and a
# pattern with more excludes nothing, silently.
NOT_SANITIZED='^(wine\.|web\.|boundary\.win32_exports|boundary\.win64_exports|boundary\.windows_host|engine\.session\.windows|engine\.session\.aarch64|engine\.aarch64|engine\.session\.i686|engine\.i686|editor\.win32\.|editor\.win64\.|hosts\.|clap\.[a-z0-9]+_exports|clap\.windows_host|clap\.editor\.win|vst3\.[a-z0-9]+_exports|vst3\.aarch64_host|vst3\.windows_|vst3\.validator|vst3\.ardour_scanner|vst3\.editor\.win|lv2\.libraries|lv2\.ui\.jalv-scale|play\.jack\.xruns|install\.layout|install\.deb|install\.windows)'
for preset in asan tsan; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
  ctest --preset "$preset" -j2 -E "$NOT_SANITIZED"
done
sh scripts/fuzz.sh "${ORVO_FUZZ_SECONDS:-60}"
