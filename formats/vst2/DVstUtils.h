// Small routines of the plug-in boundary: four-character codes and the
// rounding of the values it passes as integers. The display text the
// boundary hands out is the engine's (Text.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "Text.h"

// Packs four characters, first in the most significant byte; only the low
// 8 bits of each character count.
constexpr int32_t fourCharCode(char c1, char c2, char c3, char c4) {
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<unsigned char>(c1)) << 24) |
                                (static_cast<uint32_t>(static_cast<unsigned char>(c2)) << 16) |
                                (static_cast<uint32_t>(static_cast<unsigned char>(c3)) << 8) |
                                static_cast<uint32_t>(static_cast<unsigned char>(c4)));
}
constexpr int32_t fourCharCode(const char (&s)[5]) { return fourCharCode(s[0], s[1], s[2], s[3]); }

// Nearest integer, ties to even, whatever rounding mode the host's thread
// has set (nearbyint would follow the host's mode).
double roundHalfEven(double x);
