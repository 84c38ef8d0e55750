#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs a program of the i686 build under qemu-i386 (statically linked, so no
# root and no binfmt registration are needed).
#   run-qemu-i386.sh program args...   (77, ctest's skip, when it cannot run here)
if [ ! -f "$1" ]; then
  echo "skipped: $1 not built"
  exit 77
fi
command -v qemu-i386 >/dev/null 2>&1 || { echo "skipped: no qemu-i386 (scripts/setup.sh installs qemu-user)"; exit 77; }
exec qemu-i386 "$@"
