#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what a fresh Debian 12 machine lacks to build and test everything.
# Run as root. Safe to run again: apt-get skips what is already there, and
# the 32-bit Wine and the arm64 libraries below are unpacked only when their
# folder is missing or was made from another package list.
set -e
PACKAGES="cmake g++ make pkg-config git ca-certificates
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 libc6-i386 libz-mingw-w64 xvfb xauth
  libgtest-dev libgmock-dev libbenchmark-dev
  libsndfile1-dev libcli11-dev
  libx11-dev libxft-dev libfontconfig-dev libxtst-dev fonts-liberation
  xdotool imagemagick valgrind clang libclang-rt-14-dev
  ardour dpf-source lv2-dev liblilv-dev lilv-utils sordi jalv
  libjack-jackd2-dev jackd2
  dpkg-dev lintian help2man file zip unzip
  g++-aarch64-linux-gnu g++-i686-linux-gnu qemu-user
  emscripten chromium"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "setup: installing$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing
fi

# The web page's test driver: puppeteer-core, which drives the chromium
# above and downloads no browser of its own.
# Node itself comes from Debian where the machine has none.
if ! command -v npm >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends nodejs npm
fi
web_tests="$(dirname "$0")/../tests/web"
if [ ! -d "$web_tests/node_modules/puppeteer-core" ]; then
  echo "setup: installing the web test driver (npm)"
  (cd "$web_tests" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --silent)
fi

# Fetches PACKAGES of ARCH with a private package index and unpacks them
# into WORK/root, beside the root they are for, so that the finished tree is
# put in place by a rename (a run killed before its trap ran leaves a
# ROOT.new.* folder, which the next run removes). dpkg and the system's
# package lists never hear of ARCH. A package named NAME:all is fetched as
# it is. Prints WORK.
unpack_foreign() {
  arch=$1 root=$2
  shift 2
  mkdir -p "$(dirname "$root")"
  rm -rf "$root".new.*
  w=$(mktemp -d "$root.new.XXXXXX")
  mkdir -p "$w/lists/partial" "$w/cache/archives/partial" "$w/debs" "$w/root"
  opts="-o APT::Architecture=$arch -o APT::Architectures::=$arch
    -o Dir::State::Lists=$w/lists -o Dir::Cache=$w/cache -o Dir::State::status=/dev/null
    -o APT::Sandbox::User=root"
  # shellcheck disable=SC2086
  apt-get $opts update -qq >&2
  # shellcheck disable=SC2086
  (cd "$w/debs" && apt-get $opts download -qq $(for p in "$@"; do
     case $p in *:all) echo "${p%:all}" ;; *) echo "$p:$arch" ;; esac; done) >&2)
  for deb in "$w"/debs/*.deb; do dpkg-deb -x "$deb" "$w/root"; done
  rm -rf "$w/root/usr/share/doc" "$w/root/usr/share/man"
  echo "$w"
}
work="" armwork=""
trap 'rm -rf "$work" "$armwork"' EXIT
trap 'exit 130' INT TERM

# 32-bit Wine, to run build/win32's DLL. Debian's wine32 is an i386 package:
# installing it would add i386 to dpkg and pull in i386 twins of dozens of
# libraries, each of which must then stay at its amd64 twin's version through
# every later install and upgrade. Instead Wine's own three packages and the
# X client and font libraries its 32-bit drivers load are fetched with a
# private i386 package index and unpacked into WINE32_ROOT; dpkg and the
# system's package lists never hear of i386. tests/wine/run-wine.sh --win32
# runs it. libc6-i386 (above) gives the /lib/ld-linux.so.2 its loader names
# and the C library that must match it, so libc6:i386 is not unpacked.
WINE32_ROOT=${ORVO_WINE32_ROOT:-/opt/orvo-wine32}
WINE32_PACKAGES="wine32 wine32-preloader libwine
  libx11-6 libxcb1 libxau6 libxdmcp6 libbsd0 libmd0 libxext6 libxrender1 libxfixes3
  libxi6 libxrandr2 libxcursor1 libxinerama1 libxcomposite1 libxxf86vm1
  libfreetype6 libpng16-16 zlib1g libbrotli1 libfontconfig1 libexpat1"
wine32_stamp=$(echo $WINE32_PACKAGES)
if [ "$(cat "$WINE32_ROOT/.packages" 2>/dev/null)" != "$wine32_stamp" ]; then
  echo "setup: unpacking 32-bit Wine into $WINE32_ROOT"
  # shellcheck disable=SC2086
  work=$(unpack_foreign i386 "$WINE32_ROOT" $WINE32_PACKAGES)
  # What libwine's maintainer script does for the amd64 package: Wine's
  # user32 imports zlib1.dll and takes it only from its own DLL folder, marked
  # as one of its builtin DLLs (the marker sits in the DOS stub).
  zin=/usr/i686-w64-mingw32/lib/zlib1.dll
  zout=$work/root/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll
  { head -c 64 "$zin"; printf 'Wine builtin DLL'; printf '\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'; tail -c +97 "$zin"; } > "$zout"
  # Every library the loader, the server and the drivers link or open must be
  # found; a package whose dependencies changed would otherwise show up only
  # as a Windows test failing far from here.
  libs=$work/root/usr/lib/i386-linux-gnu:$work/root/lib/i386-linux-gnu:$work/root/usr/lib/i386-linux-gnu/wine/i386-unix
  for f in "$work"/root/usr/lib/wine/wine "$work"/root/usr/lib/wine/wineserver32 \
           "$work"/root/usr/lib/i386-linux-gnu/wine/i386-unix/ntdll.so \
           "$work"/root/usr/lib/i386-linux-gnu/wine/i386-unix/win32u.so \
           "$work"/root/usr/lib/i386-linux-gnu/wine/i386-unix/winex11.so \
           "$work"/root/usr/lib/i386-linux-gnu/lib*.so.* "$work"/root/lib/i386-linux-gnu/lib*.so.*; do
    if LD_LIBRARY_PATH=$libs ldd "$f" | grep "not found"; then
      echo "setup: $f misses a library" >&2
      exit 1
    fi
  done
  for so in libX11.so.6 libXext.so.6 libXrender.so.1 libXfixes.so.3 libXi.so.6 libXrandr.so.2 \
            libXcursor.so.1 libXinerama.so.1 libXcomposite.so.1 libXxf86vm.so.1 \
            libfreetype.so.6 libfontconfig.so.1; do
    test -e "$work/root/usr/lib/i386-linux-gnu/$so" || { echo "setup: no $so for 32-bit Wine" >&2; exit 1; }
  done
  # The stamp goes in last: a run cut short leaves a folder without one,
  # which the next run replaces.
  rm -rf "$WINE32_ROOT"
  mv "$work/root" "$WINE32_ROOT"
  echo "$wine32_stamp" > "$WINE32_ROOT/.packages"
fi

# Some machines run no 32-bit x86 program at all (a kernel without IA32
# emulation, or a hypervisor without the compat mode): every i386 program,
# the 32-bit Wine included, fails with "Exec format error". There the kernel
# is told to hand i386 programs to qemu-i386 (binfmt_misc), so the win32
# DLL still runs in its tests, emulated. Where the kernel runs them itself,
# or will not take the entry, nothing changes and the win32 runtime tests
# skip as before. Asked for only (ORVO_EMULATE_I386=1): under the emulator
# Wine now and then stalls, which a shared CI machine should not wait on.
if [ "${ORVO_EMULATE_I386:-0}" = 1 ] && ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
  if [ -w "$binfmt/register" ] && [ ! -e "$binfmt/orvo-i386" ]; then
    # ELF, 32-bit, little-endian, executable or shared object, machine 3 (i386);
    # the kernel reads the \x escapes itself.
    printf '%s' ':orvo-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
      > "$binfmt/register" 2>/dev/null || true
  fi
  if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "setup: this kernel runs no i386 programs; they run under qemu-i386 (binfmt_misc entry orvo-i386)"
  else
    echo "setup: this kernel runs no i386 programs and qemu-i386 could not be registered: the win32 runtime tests will skip"
  fi
fi

# The arm64 libraries the aarch64 preset links its plug-ins against and its
# test programs load under qemu-aarch64, unpacked into ARM64_ROOT the same
# way and for the same reason as the 32-bit Wine above: adding arm64 to dpkg
# would tie dozens of arm64 twins to their amd64 versions for good. The
# folder is a complete root for `qemu-aarch64 -L`: the C library and its
# loader, the C++ runtime the gtest program links, the X client and font
# libraries with everything they load, and the -dev packages (headers, .so
# links, .pc files) that cmake/toolchain-aarch64-linux-gnu.cmake points
# pkg-config and the linker at. x11proto-dev is an "all" package, but the
# .pc files of the others require its.
ARM64_ROOT=${ORVO_ARM64_ROOT:-/opt/orvo-arm64}
ARM64_PACKAGES="libc6 libgcc-s1 libstdc++6
  libx11-6 libxft2 libfontconfig1 libfreetype6 libxrender1 libxcb1 libxau6 libxdmcp6
  libexpat1 libpng16-16 zlib1g libbrotli1 libbsd0 libmd0
  libx11-dev libxft-dev libfontconfig-dev libfreetype-dev libxrender-dev libxcb1-dev
  libxau-dev libxdmcp-dev libexpat1-dev libpng-dev zlib1g-dev libbrotli-dev
  x11proto-dev:all lv2-dev"
arm64_stamp=$(echo $ARM64_PACKAGES)
if [ "$(cat "$ARM64_ROOT/.packages" 2>/dev/null)" != "$arm64_stamp" ]; then
  echo "setup: unpacking arm64 libraries into $ARM64_ROOT"
  # shellcheck disable=SC2086
  armwork=$(unpack_foreign arm64 "$ARM64_ROOT" $ARM64_PACKAGES)
  # Links that name an absolute path would leave the root under qemu-aarch64
  # -L (which follows them on the host) and under the cross linker: make
  # each relative to where it lies.
  find "$armwork/root" -type l | while read -r link; do
    target=$(readlink "$link")
    case $target in
      /*) ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$armwork/root$target")" "$link" ;;
    esac
  done
  # Every ARM library must find what it needs inside the root. ldd cannot
  # read arm64 files, so each NEEDED entry is looked up by name.
  for f in "$armwork"/root/usr/lib/aarch64-linux-gnu/lib*.so.* "$armwork"/root/lib/aarch64-linux-gnu/lib*.so.*; do
    [ -L "$f" ] && continue
    for need in $(readelf -d "$f" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
      [ -e "$armwork/root/usr/lib/aarch64-linux-gnu/$need" ] || [ -e "$armwork/root/lib/aarch64-linux-gnu/$need" ] ||
        [ -e "$armwork/root/lib/$need" ] || { echo "setup: $f needs $need, which is not unpacked" >&2; exit 1; }
    done
  done
  for so in ld-linux-aarch64.so.1 aarch64-linux-gnu/libc.so.6 aarch64-linux-gnu/libstdc++.so.6; do
    test -e "$armwork/root/lib/$so" || test -e "$armwork/root/usr/lib/$so" ||
      { echo "setup: no $so in the arm64 root" >&2; exit 1; }
  done
  for so in libX11.so libXft.so libfontconfig.so libfreetype.so; do
    test -e "$armwork/root/usr/lib/aarch64-linux-gnu/$so" || { echo "setup: no $so to link arm64 programs" >&2; exit 1; }
  done
  rm -rf "$ARM64_ROOT"
  mv "$armwork/root" "$ARM64_ROOT"
  echo "$arm64_stamp" > "$ARM64_ROOT/.packages"
fi
