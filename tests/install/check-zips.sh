#!/bin/sh
# SPDX-License-Identifier: MIT
# The Windows zips, made by cpack from the win32 and win64 builds: the
# folders INSTALL.txt names, holding the very DLL, VST 3 and CLAP the Windows
# tests ran, of the right width.
#   check-zips.sh DIR WIN32_BUILD WIN64_BUILD
# Exits 77 (skipped) when neither Windows build is there.
set -e
dir=$1 win32=$2 win64=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
checked=0
for bits in 32 64; do
  eval build=\$win$bits
  if [ ! -f "$build/OrvoSwitch.dll" ] || [ ! -f "$build/CPackConfig.cmake" ]; then
    echo "NOTE: no win$bits build in $build"; continue
  fi
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  name=OrvoSwitch-$version-win$bits
  rm -rf "$dir/win$bits"
  cpack --config "$build/CPackConfig.cmake" -B "$dir/win$bits" >"$work/log" 2>&1 || { cat "$work/log"; fail "cpack failed"; }
  zip=$dir/win$bits/$name.zip
  [ -f "$zip" ] || { ls "$dir/win$bits"; fail "no $zip"; }
  mkdir "$work/$bits"
  unzip -q "$zip" -d "$work/$bits"
  (cd "$work/$bits" && find . -type f | sed 's|^\./||' | sort) >"$work/got"
  if [ $bits = 32 ]; then vst3arch=x86-win; else vst3arch=x86_64-win; fi
  vst3="Common Files/VST3/OrvoSwitch.vst3/Contents/$vst3arch/OrvoSwitch.vst3"
  printf '%s\n' "$name/Common Files/CLAP/OrvoSwitch.clap" "$name/$vst3" "$name/INSTALL.txt" "$name/LICENSE.txt" \
    "$name/THIRD-PARTY.txt" "$name/Common Files/VST3/OrvoSwitch.vst3/Contents/Resources/moduleinfo.json" \
    "$name/VstPlugins/OrvoSwitch.dll" >"$work/want"
  ls "$build/presets/files" | sed "s|^|$name/Presets/|" >>"$work/want"
  echo "$name/guide.md" >>"$work/want"
  ls "$(dirname "$0")/../../docs/guide" | sed "s|^|$name/guide/|" >>"$work/want"
  sort -o "$work/want" "$work/want"
  diff -u "$work/want" "$work/got" >&2 || fail "$zip holds other files (- missing, + unexpected)"
  top=$work/$bits/$name
  cmp "$top/VstPlugins/OrvoSwitch.dll" "$build/OrvoSwitch.dll" || fail "the DLL in $zip is not $build/OrvoSwitch.dll"
  cmp "$top/Common Files/CLAP/OrvoSwitch.clap" "$build/OrvoSwitch.clap" || fail "the CLAP in $zip is not $build's"
  cmp "$top/$vst3" "$build/OrvoSwitch.vst3/Contents/$vst3arch/OrvoSwitch.vst3" || fail "the VST 3 in $zip is not $build's"
  if [ $bits = 32 ]; then pe='PE32 executable'; programs='C:\Program Files (x86)'; else pe='PE32+ executable'; programs='C:\Program Files'; fi
  for f in "$top/VstPlugins/OrvoSwitch.dll" "$top/$vst3" "$top/Common Files/CLAP/OrvoSwitch.clap"; do
    file -b "$f" | grep -q "^$pe (DLL)" || fail "${f#$top/} in the win$bits zip is $(file -b "$f")"
  done
  # The note names each file by its folder in the zip and the folder under
  # Program Files it goes to, so the zip's folders are the documented ones.
  tr -d '\r' <"$top/INSTALL.txt" >"$work/install"
  for want in 'VstPlugins\OrvoSwitch.dll' "$programs\\VstPlugins" 'Common Files\VST3\OrvoSwitch.vst3' \
              "$programs\\Common Files\\VST3" 'Common Files\CLAP\OrvoSwitch.clap' \
              "$programs\\Common Files\\CLAP" "$version"; do
    grep -qF "$want" "$work/install" || fail "INSTALL.txt in the win$bits zip does not say $want"
  done
  # Windows' own tools show a bare line feed as one long line.
  [ "$(grep -c "$(printf '\r')\$" "$top/INSTALL.txt")" = "$(wc -l <"$top/INSTALL.txt")" ] \
    || fail "INSTALL.txt has lines without CR LF"
  tr -d '\r' <"$top/LICENSE.txt" | cmp - "$(dirname "$0")/../../LICENSE" || fail "LICENSE.txt is not the project's licence"
  echo "$zip: the build's DLL, VST 3 and CLAP, INSTALL.txt, LICENSE.txt, THIRD-PARTY.txt"
  checked=$((checked + 1))
done
[ $checked -gt 0 ] || exit 77
