# SPDX-License-Identifier: MIT
# Compile flags every target shares. The engine's output is held to the
# bit on every build, so no contraction into fused multiply-adds, no fast-math, and SSE2
# scalar math on 32-bit x86 (the x87's extended precision would change bits).
add_library(orvo_flags INTERFACE)
target_compile_options(orvo_flags INTERFACE
  -Wall -Wextra -ffp-contract=off -fno-fast-math -fno-math-errno)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "i[3-6]86" OR CMAKE_CXX_COMPILER MATCHES "i686")
  target_compile_options(orvo_flags INTERFACE -msse2 -mfpmath=sse)
endif()

# Sanitizer builds (Linux only): -DORVO_SANITIZE=address,undefined or thread.
set(ORVO_SANITIZE "" CACHE STRING "Sanitizers for Linux builds (e.g. address,undefined or thread)")
if(ORVO_SANITIZE)
  add_compile_options(-fsanitize=${ORVO_SANITIZE} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${ORVO_SANITIZE})
endif()

# libFuzzer builds (clang only): instrument everything, link the fuzzer's
# main only into the fuzz binaries.
option(ORVO_FUZZ "Build libFuzzer targets (needs clang)" OFF)
if(ORVO_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
