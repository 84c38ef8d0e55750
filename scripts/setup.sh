#!/bin/sh
# Installs what a fresh Debian 12 machine lacks to build and test everything.
# Run as root. Safe to run again: apt-get skips what is already there.
set -e
PACKAGES="cmake g++ make pkg-config git ca-certificates
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 xvfb xauth
  libgtest-dev libgmock-dev libbenchmark-dev
  libsndfile1-dev libcli11-dev
  libx11-dev libxft-dev libfontconfig-dev libxtst-dev fonts-liberation
  xdotool imagemagick valgrind clang libclang-rt-14-dev
  ardour"
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
