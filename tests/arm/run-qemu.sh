#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs a program of the aarch64 build under qemu-aarch64, with the arm64 root
# scripts/setup.sh unpacks into /opt/orvo-arm64 (ORVO_ARM64_ROOT) as the
# root its loader and libraries are found in. No binfmt registration is
# relied on, so the same command works on any x86-64 machine.
#   run-qemu.sh program args...   (77, ctest's skip, when it cannot run here)
root=${ORVO_ARM64_ROOT:-/opt/orvo-arm64}
if [ ! -f "$1" ]; then
  echo "skipped: $1 not built"
  exit 77
fi
if ! command -v qemu-aarch64 >/dev/null 2>&1 || [ ! -e "$root/lib/ld-linux-aarch64.so.1" ]; then
  echo "skipped: no qemu-aarch64 or no arm64 root in $root (scripts/setup.sh installs both)"
  exit 77
fi
exec qemu-aarch64 -L "$root" "$@"
