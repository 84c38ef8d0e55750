#!/bin/sh
# SPDX-License-Identifier: MIT
# Makes the guide's pictures from renders (the presets.guide_pictures test)
# and copies them into docs/guide, where the test then finds them unchanged.
set -e
cd "$(dirname "$0")/.."
cmake --build build/linux --target presets_guide_pictures
build/linux/tests/presets/presets_guide_pictures >/dev/null || true
mkdir -p docs/guide
cp build/linux/guide/*.png docs/guide/
build/linux/tests/presets/presets_guide_pictures
