# SPDX-License-Identifier: MIT
# The engine's unit tests, which every build of the render core runs: the
# native one, the one on plain lanes, and the ARM one under qemu.
set(ORVO_ENGINE_TEST_SOURCES tables_test.cc params_test.cc envelope_filter_test.cc engine_test.cc reference_test.cc)
list(TRANSFORM ORVO_ENGINE_TEST_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
