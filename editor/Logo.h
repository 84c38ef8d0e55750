// The 110 x 25 logo: the product name in bold italic blue and two red
// ideographs on white, drawn from glyphs kept here so that every platform
// shows the same pixels without needing a CJK font.
#pragma once

#include "Platform.h"

namespace orvo {

inline constexpr int kLogoWidth = 110;
inline constexpr int kLogoHeight = 25;

// Pixels live for the whole process.
Image logoImage();

}  // namespace orvo
