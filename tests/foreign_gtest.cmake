# SPDX-License-Identifier: MIT
# Google Test for a build of another processor (aarch64, i686): Debian ships
# it as source for any architecture, built here only for those programs.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GCC 12 at -O3 sees an overlap in gtest.cc's string building that cannot
# happen; it is not our code to change.
target_compile_options(gtest PRIVATE -Wno-restrict)
