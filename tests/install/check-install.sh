#!/bin/sh
# SPDX-License-Identifier: MIT
# `cmake --install` of the Linux build into throw-away folders: what lands
# where, and that what landed works from there.
#   check-install.sh system BUILD CLAP_FIND       --prefix <tmp>/usr
#   check-install.sh user BUILD CLAP_FIND         --prefix <tmp>/home/.local, and with DESTDIR
#   check-install.sh components BUILD CLAP_FIND   one component at a time
#   check-install.sh configured BUILD CLAP_FIND   the prefix the build was configured with, under DESTDIR
set -e
mode=$1 build=$2 clap_find=$3
uri=https://orvo.example.com/plugins/switch
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tab=$(printf '\t')
fail() { echo "FAIL: $*" >&2; exit 1; }

# What each component puts where; the plug-in folders are relative to the
# base ($prefix/lib or $HOME/.), everything else to the prefix.
plugins() {  # base component
  case $2 in
  vst2) echo "$1vst/OrvoSwitch.so" ;;
  vst3) for f in x86_64-linux/OrvoSwitch.so Resources/moduleinfo.json; do echo "$1vst3/OrvoSwitch.vst3/Contents/$f"; done ;;
  clap) echo "$1clap/OrvoSwitch.clap" ;;
  lv2) for f in OrvoSwitch.so OrvoSwitchUI.so manifest.ttl OrvoSwitch.ttl presets.ttl; do echo "$1lv2/OrvoSwitch.lv2/$f"; done ;;
  esac
}
others() {  # prefix component
  case $2 in
  tools)
    echo "$1/bin/orvo-render"; echo "$1/bin/orvo-play"
    if [ -e "$build/packaging/orvo-render.1.gz" ]; then
      echo "$1/share/man/man1/orvo-render.1.gz"; echo "$1/share/man/man1/orvo-play.1.gz"
    fi ;;
  doc)
    for f in README.md.gz changelog.gz copyright guide.md; do echo "$1/share/doc/orvo-switch/$f"; done
    ls "$(dirname "$0")/../../docs/guide" | sed "s|^|$1/share/doc/orvo-switch/guide/|" ;;
  presets) ls "$build/presets/files" | sed "s|^|$1/share/orvo-switch/presets/|" ;;
  esac
}
expected() {  # base prefix components...
  base=$1 prefix=$2; shift 2
  for c in "$@"; do plugins "$base" "$c"; others "$prefix" "$c"; done
}
# The files under a root, as paths from it, against what was expected.
compare() {  # root expected-list-file
  (cd "$1" && find . -type f | sed 's|^\./||') | sort >"$work/got"
  sort "$2" >"$work/want"
  diff -u "$work/want" "$work/got" >&2 || fail "installed files differ from the layout (- missing, + unexpected)"
}
all="vst2 vst3 clap lv2 tools doc presets"

# The installed tool must load the installed plug-in, not the build's.
check_render() {  # orvo-render home expected-plugin
  out=$(HOME=$2 "$1" --list) || fail "$1 --list failed"
  echo "$out" | grep -qx "plug-in  $3" || { echo "$out" | head -3 >&2; fail "$1 did not load $3"; }
  echo "$1 loads $3"
}

case $mode in
system)
  p=$work/root/usr
  cmake --install "$build" --prefix "$p" >/dev/null
  expected "usr/lib/" usr $all >"$work/list"
  compare "$work/root" "$work/list"
  mkdir "$work/home"
  check_render "$p/bin/orvo-render" "$work/home" "$p/bin/../lib/vst/OrvoSwitch.so"
  # Nothing installed may still point into the build folder.
  for f in "$p"/bin/* "$p"/lib/vst/*.so "$p"/lib/vst3/*/Contents/*/*.so "$p"/lib/clap/*.clap "$p"/lib/lv2/OrvoSwitch.lv2/*.so; do
    if readelf -d "$f" | grep -Eq 'R(UN)?PATH'; then fail "$f keeps a run path: $(readelf -d "$f" | grep -E 'R(UN)?PATH')"; fi
  done
  ;;
user)
  h=$work/root/home
  cmake --install "$build" --prefix "$h/.local" >"$work/log"
  grep -q "User install: the plug-ins go into $h/.vst" "$work/log" || fail "no word of where the plug-ins went"
  expected "home/." home/.local $all >"$work/list"
  compare "$work/root" "$work/list"
  check_render "$h/.local/bin/orvo-render" "$h" "$h/.vst/OrvoSwitch.so"
  # Found where hosts look by default, with no search path set.
  env -u CLAP_PATH HOME="$h" "$clap_find" | grep -q "^com.brimlow.orvo.switch${tab}$version${tab}$h/.clap/OrvoSwitch.clap$" \
    || fail "a host's CLAP search does not find ~/.clap/OrvoSwitch.clap"
  if [ -e /usr/lib/lv2/OrvoSwitch.lv2 ] || [ -e /usr/local/lib/lv2/OrvoSwitch.lv2 ]; then
    echo "NOTE: a system-wide bundle is installed, so lv2ls cannot show that ~/.lv2 was searched"
  else
    env -u LV2_PATH HOME="$h" lv2ls 2>/dev/null | grep -qx "$uri" || fail "lv2ls does not find the bundle in ~/.lv2"
  fi
  # Staged for someone else's home: the rule follows the prefix, under DESTDIR.
  DESTDIR=$work/stage cmake --install "$build" --prefix /home/someone/.local >/dev/null
  expected "home/someone/." home/someone/.local $all >"$work/list"
  compare "$work/stage" "$work/list"
  ;;
components)
  for c in $all; do
    cmake --install "$build" --prefix "$work/$c/usr" --component "$c" >/dev/null
    expected "usr/lib/" usr "$c" >"$work/list"
    compare "$work/$c" "$work/list"
    echo "component $c: $(wc -l <"$work/list") files"
  done
  # The choice of folders is made for every component, not only a full install.
  cmake --install "$build" --prefix "$work/one/home/.local" --component vst2 >/dev/null
  echo "home/.vst/OrvoSwitch.so" >"$work/list"
  compare "$work/one" "$work/list"
  ;;
configured)
  prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
  DESTDIR=$work/stage cmake --install "$build" >/dev/null
  rel=${prefix#/}
  case $prefix in
  */.local) expected "$(dirname "$rel")/." "$rel" $all ;;
  *) expected "$rel/lib/" "$rel" $all ;;
  esac >"$work/list"
  compare "$work/stage" "$work/list"
  echo "configured prefix $prefix"
  ;;
*) echo "usage: $0 system|user|components|configured BUILD CLAP_FIND" >&2; exit 2 ;;
esac
echo "install layout as expected ($mode)"
