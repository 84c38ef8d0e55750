// The 110 x 25 logo: the product name in bold italic blue and two red
// ideographs on white, drawn from glyphs kept here so that every platform
// shows the same pixels without needing a CJK font.
#pragma once

#include <cstdint>
#include <vector>

#include "Platform.h"

namespace orvo {

inline constexpr int kLogoWidth = 110;
inline constexpr int kLogoHeight = 25;

// Pixels live for the whole process.
Image logoImage();
// The logo at `width` x `height`, each pixel taken from the design pixel
// under its centre (no blending: the glyphs stay crisp); the pixels live in
// `storage` unless the size is the design's.
Image logoImage(int width, int height, std::vector<std::uint32_t>& storage);

}  // namespace orvo
