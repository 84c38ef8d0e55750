#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the release files from the committed tree into dist/: the Debian
# package from the Linux build and a zip from each Windows build, with a
# SHA256SUMS file. The zips carry the DLLs exactly as built, the same files
# the Windows tests load; run scripts/test.sh before releasing.
#   scripts/release.sh              refuses uncommitted changes
#   scripts/release.sh --dirty      builds them anyway (not for publishing)
set -e
cd "$(dirname "$0")/.."
if [ "$1" != --dirty ] && [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "release: the tree has uncommitted changes; commit them, or pass --dirty" >&2
  exit 1
fi
for preset in linux win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2
  rm -rf "build/$preset/packages"
  cpack --config "build/$preset/CPackConfig.cmake" -B "build/$preset/packages"
done
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/linux/CMakeCache.txt)
rm -rf dist
mkdir dist
cp "build/linux/packages/orvo-switch_${version}_amd64.deb" \
   "build/win32/packages/OrvoSwitch-${version}-win32.zip" \
   "build/win64/packages/OrvoSwitch-${version}-win64.zip" dist/
# What the install tests check, on these very files.
for bits in 32 64; do
  unzip -p "dist/OrvoSwitch-${version}-win$bits.zip" "OrvoSwitch-${version}-win$bits/VstPlugins/OrvoSwitch.dll" |
    cmp - "build/win$bits/OrvoSwitch.dll" || { echo "release: the win$bits zip's DLL is not the built one" >&2; exit 1; }
done
if command -v lintian >/dev/null; then
  rc=0
  lintian --fail-on error "dist/orvo-switch_${version}_amd64.deb" >dist/lintian.log 2>&1 || rc=$?
  grep -v 'running with root privileges' dist/lintian.log || true
  rm dist/lintian.log
  [ $rc = 0 ] || { echo "release: lintian reports errors" >&2; exit 1; }
fi
(cd dist && sha256sum -- *.deb *.zip > SHA256SUMS)
echo "release $version:"
ls -l dist
