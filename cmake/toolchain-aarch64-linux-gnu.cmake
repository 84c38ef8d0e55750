# SPDX-License-Identifier: MIT
# Linux on 64-bit ARM. The compiler brings its own C library and C++ runtime
# (/usr/aarch64-linux-gnu); the X client libraries, their headers and .pc
# files come from the arm64 root scripts/setup.sh unpacks (ORVO_ARM64_ROOT).
# The test programs run under qemu-aarch64 -L with that same root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

if(DEFINED ENV{ORVO_ARM64_ROOT})
  set(ORVO_ARM64_ROOT $ENV{ORVO_ARM64_ROOT})
else()
  set(ORVO_ARM64_ROOT /opt/orvo-arm64)
endif()
# try_compile projects read this file again without the cache.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORVO_ARM64_ROOT)

set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu ${ORVO_ARM64_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The host's pkg-config, reading only the arm64 .pc files; the sysroot turns
# their /usr paths into paths inside the root.
set(ENV{PKG_CONFIG_LIBDIR} ${ORVO_ARM64_ROOT}/usr/lib/aarch64-linux-gnu/pkgconfig:${ORVO_ARM64_ROOT}/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${ORVO_ARM64_ROOT})
set(ENV{PKG_CONFIG_PATH} "")

# pkg-config drops -I/usr/include as a default directory, so the root's
# include folder is searched after the compiler's own, as /usr/include is
# for a native build. The X libraries name their own dependencies (xcb,
# Xau, Xdmcp, libbsd, ...) which the linker must find to check
# --no-undefined, but which nothing links directly.
set(CMAKE_C_FLAGS_INIT "-idirafter ${ORVO_ARM64_ROOT}/usr/include")
set(CMAKE_CXX_FLAGS_INIT "-idirafter ${ORVO_ARM64_ROOT}/usr/include")
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT
      "-Wl,-rpath-link,${ORVO_ARM64_ROOT}/usr/lib/aarch64-linux-gnu -Wl,-rpath-link,${ORVO_ARM64_ROOT}/lib/aarch64-linux-gnu")
endforeach()

# add_test and gtest discovery in this build run its programs through qemu.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${ORVO_ARM64_ROOT})
