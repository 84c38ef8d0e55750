#!/bin/sh
# SPDX-License-Identifier: MIT
# The Debian package, built by cpack from the Linux build.
#   check-deb.sh package BUILD DIR         cpack into DIR; its fields and files
#   check-deb.sh lintian BUILD DIR         lintian: no error
#   check-deb.sh dpkg BUILD DIR CLAP_FIND  installed, found by hosts, removed (root only)
set -e
mode=$1 build=$2 dir=$3 clap_find=$4
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$dir/orvo-switch_${version}_amd64.deb
uri=https://orvo.example.com/plugins/switch
work=$(mktemp -d)
cleanup() { rm -rf "$work"; }
trap cleanup EXIT
tab=$(printf '\t')
fail() { echo "FAIL: $*" >&2; exit 1; }

case $mode in
package)
  rm -rf "$dir"
  cpack --config "$build/CPackConfig.cmake" -B "$dir" >"$work/log" 2>&1 || { cat "$work/log"; fail "cpack failed"; }
  [ -f "$deb" ] || { ls "$dir"; fail "no $deb"; }
  field() { dpkg-deb -f "$deb" "$1"; }
  [ "$(field Package)" = orvo-switch ] || fail "Package: $(field Package)"
  [ "$(field Version)" = "$version" ] || fail "Version: $(field Version), not $version"
  [ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
  [ "$(field Section)" = sound ] || fail "Section: $(field Section)"
  [ "$(field Maintainer)" = "Brimlow <orvo@example.com>" ] || fail "Maintainer: $(field Maintainer)"
  # What the binaries link, as dpkg-shlibdeps found it.
  depends=$(field Depends)
  for lib in libc6 libsndfile1 libjack-jackd2-0 libx11-6 libxft2 libfontconfig1; do
    echo "$depends" | grep -Eq "(^|, )$lib( |,|$)" || fail "Depends lacks $lib: $depends"
  done
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {$1 = $2 = $3 = $4 = $5 = ""; sub(/^ *\.\//, ""); print}' | sort >"$work/got"
  sort >"$work/want" <<LIST
usr/bin/orvo-play
usr/bin/orvo-render
usr/lib/clap/OrvoSwitch.clap
usr/lib/lv2/OrvoSwitch.lv2/OrvoSwitch.so
usr/lib/lv2/OrvoSwitch.lv2/OrvoSwitch.ttl
usr/lib/lv2/OrvoSwitch.lv2/OrvoSwitchUI.so
usr/lib/lv2/OrvoSwitch.lv2/manifest.ttl
usr/lib/lv2/OrvoSwitch.lv2/presets.ttl
usr/lib/vst/OrvoSwitch.so
usr/lib/vst3/OrvoSwitch.vst3/Contents/Resources/moduleinfo.json
usr/lib/vst3/OrvoSwitch.vst3/Contents/x86_64-linux/OrvoSwitch.so
usr/share/doc/orvo-switch/README.md.gz
usr/share/doc/orvo-switch/changelog.gz
usr/share/doc/orvo-switch/copyright
usr/share/man/man1/orvo-play.1.gz
usr/share/man/man1/orvo-render.1.gz
LIST
  ls "$build/presets/files" | sed 's|^|usr/share/orvo-switch/presets/|' >>"$work/want"
  echo usr/share/doc/orvo-switch/guide.md >>"$work/want"
  ls "$(dirname "$0")/../../docs/guide" | sed 's|^|usr/share/doc/orvo-switch/guide/|' >>"$work/want"
  sort -o "$work/want" "$work/want"
  diff -u "$work/want" "$work/got" >&2 || fail "package contents differ (- missing, + unexpected)"
  dpkg-deb -x "$deb" "$work/root"
  for f in "$work"/root/usr/bin/* "$work"/root/usr/lib/vst/* "$work"/root/usr/lib/vst3/*/Contents/*-linux/* \
           "$work"/root/usr/lib/clap/* "$work"/root/usr/lib/lv2/*/*.so; do
    file -b "$f" | grep -q ', stripped' || fail "${f#$work/root} is not stripped: $(file -b "$f")"
  done
  # The newest changelog entry is this version: a release that forgot it
  # would ship last release's notes.
  zcat "$work/root/usr/share/doc/orvo-switch/changelog.gz" >"$work/changelog"
  logged=$(dpkg-parsechangelog -l "$work/changelog" -S Version)
  [ "$logged" = "$version" ] || fail "packaging/debian/changelog's newest entry is $logged, not $version"
  zcat "$work/root/usr/share/man/man1/orvo-render.1.gz" | grep -q "orvo-render $version" \
    || fail "the orvo-render manual page is not from this version"
  echo "$deb: $(field Version), $(wc -l <"$work/got") files"
  ;;
lintian)
  command -v lintian >/dev/null || { echo "lintian is not installed"; exit 77; }
  [ -f "$deb" ] || fail "no $deb"
  # Errors fail; warnings are shown for whoever reads the log.
  rc=0
  lintian --fail-on error --display-info "$deb" >"$work/out" 2>&1 || rc=$?
  grep -v 'running with root privileges' "$work/out" || true
  if [ $rc != 0 ] || grep -q '^E:' "$work/out"; then fail "lintian reports errors (exit $rc)"; fi
  echo "lintian: no errors"
  ;;
dpkg)
  [ "$(id -u)" = 0 ] || { echo "installing a package needs root"; exit 77; }
  [ -f "$deb" ] || fail "no $deb"
  if dpkg-query -W -f='${Status}' orvo-switch 2>/dev/null | grep -q 'install ok installed'; then
    echo "orvo-switch is already installed here: not replacing it"; exit 77
  fi
  if ! dpkg -i "$deb" >"$work/log" 2>&1; then
    cat "$work/log"
    if grep -q 'lock' "$work/log"; then echo "dpkg is locked by another process"; exit 77; fi
    dpkg -r orvo-switch >/dev/null 2>&1 || true
    fail "dpkg -i failed"
  fi
  trap 'dpkg -r orvo-switch >/dev/null 2>&1 || true; cleanup' EXIT
  mkdir "$work/home"
  # From PATH, and loading the plug-in the package put in /usr/lib/vst.
  [ "$(command -v orvo-render)" = /usr/bin/orvo-render ] || fail "orvo-render on PATH is $(command -v orvo-render)"
  [ "$(orvo-render --version)" = "orvo-render $version" ] || fail "orvo-render --version: $(orvo-render --version)"
  [ "$(orvo-play --version)" = "orvo-play $version" ] || fail "orvo-play --version: $(orvo-play --version)"
  HOME=$work/home orvo-render --list | grep -qx 'plug-in  /usr/bin/../lib/vst/OrvoSwitch.so' \
    || fail "the installed orvo-render does not load /usr/lib/vst/OrvoSwitch.so"
  # Each format where its hosts look, with no search path set.
  sh "$(dirname "$0")/../hosts/ardour-scan.sh" /usr/lib/vst/OrvoSwitch.so || {
    [ $? = 77 ] || fail "ardour-vst-scanner rejects /usr/lib/vst/OrvoSwitch.so"
    echo "NOTE: no ardour-vst-scanner here: the VST 2 scan is not checked"
  }
  env -u LV2_PATH HOME="$work/home" lv2ls 2>/dev/null | grep -qx "$uri" || fail "lv2ls does not list $uri"
  env -u LV2_PATH HOME="$work/home" lv2info "$uri" 2>/dev/null | grep -q '/usr/lib/lv2/OrvoSwitch.lv2/OrvoSwitch.so' \
    || fail "lilv does not take the bundle from /usr/lib/lv2"
  env -u CLAP_PATH HOME="$work/home" "$clap_find" | grep -q "^com.brimlow.orvo.switch${tab}$version${tab}/usr/lib/clap/OrvoSwitch.clap$" \
    || fail "a host's CLAP search does not find /usr/lib/clap/OrvoSwitch.clap"
  man -w orvo-render >/dev/null 2>&1 || fail "man does not find orvo-render(1)"
  files=$(dpkg -L orvo-switch | while read -r f; do [ -f "$f" ] && echo "$f"; done)
  dpkg -r orvo-switch >"$work/log" 2>&1 || { cat "$work/log"; fail "dpkg -r failed"; }
  trap cleanup EXIT
  for f in $files; do [ ! -e "$f" ] || fail "$f is left after dpkg -r"; done
  for d in /usr/lib/lv2/OrvoSwitch.lv2 /usr/share/doc/orvo-switch; do [ ! -e "$d" ] || fail "$d is left after dpkg -r"; done
  # CPack's postrm keeps the package known to dpkg until purged.
  dpkg -P orvo-switch >/dev/null 2>&1 || true
  echo "installed, found by the hosts' searches, and removed: $(echo "$files" | wc -l) files"
  ;;
*) echo "usage: $0 package|lintian|dpkg BUILD DIR [CLAP_FIND]" >&2; exit 2 ;;
esac
