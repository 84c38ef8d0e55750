#include "Logo.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace orvo {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kRed = 0xFF0000;

struct Glyph {
    int top;  // row of the logo where the glyph's first row goes
    std::array<std::string_view, 16> rows;
};

// Latin letters are drawn upright with bold strokes and sheared into italics
// when placed; rows end at the baseline.
constexpr Glyph kO{6, {"...XXXXX...", ".XXXXXXXXX.", "XXXX...XXXX", "XXX.....XXX", "XXX.....XXX",
                       "XXX.....XXX", "XXX.....XXX", "XXX.....XXX", "XXX.....XXX", "XXX.....XXX",
                       "XXXX...XXXX", ".XXXXXXXXX.", "...XXXXX..."}};
constexpr Glyph kR{10, {"XXX.XXX", "XXXXXXX", "XXXX...", "XXX....", "XXX....", "XXX....", "XXX....", "XXX....",
                        "XXX...."}};
constexpr Glyph kV{10, {"XXX...XXX", "XXX...XXX", "XXX...XXX", ".XXX.XXX.", ".XXX.XXX.", "..XXXXX..", "..XXXXX..",
                        "...XXX...", "...XXX..."}};
constexpr Glyph kLowO{10, {"..XXXXX..", ".XXXXXXX.", "XXX...XXX", "XXX...XXX", "XXX...XXX", "XXX...XXX",
                           "XXX...XXX", ".XXXXXXX.", "..XXXXX.."}};

// "Cut" and "replace": together, "switch".
constexpr Glyph kKiri{4, {"................", "...X............", "...X.....XXXXXXX", "...X........X..X",
                          "...X..XX....X..X", "...XXX......X..X", "XXXX........X..X", "...X........X..X",
                          "...X.......X...X", "...X.......X...X", "...X..X...X....X", "...X..X...X....X",
                          "....XX...X.....X", "........X......X", "......XX.....XXX", "................"}};
constexpr Glyph kKae{4, {"................", "...X......X.....", ".XXXXX..XXXXXX..", "...X......X.....",
                         "XXXXXX.XXXXXXX..", "..X.X....X.X....", ".X...X..X...XX..", "X.....XX.....XX.",
                         "...XXXXXXXXXX...", "...X........X...", "...X........X...", "...XXXXXXXXXX...",
                         "...X........X...", "...X........X...", "...XXXXXXXXXX...", "................"}};

constexpr int kBaseline = 18;

std::array<std::uint32_t, kLogoWidth * kLogoHeight> build() {
    std::array<std::uint32_t, kLogoWidth * kLogoHeight> px{};
    px.fill(kWhite);
    auto put = [&](int x, int y, std::uint32_t c) {
        if (x >= 0 && x < kLogoWidth && y >= 0 && y < kLogoHeight)
            px[static_cast<std::size_t>(y * kLogoWidth + x)] = c;
    };
    auto draw = [&](const Glyph& g, int left, std::uint32_t colour, bool italic) {
        for (std::size_t r = 0; r < g.rows.size(); ++r) {
            int y = g.top + static_cast<int>(r);
            int shear = italic ? (kBaseline - y) / 4 : 0;
            for (std::size_t c = 0; c < g.rows[r].size(); ++c)
                if (g.rows[r][c] == 'X') put(left + shear + static_cast<int>(c), y, colour);
        }
    };
    draw(kO, 8, kBlue, true);
    draw(kR, 21, kBlue, true);
    draw(kV, 29, kBlue, true);
    draw(kLowO, 39, kBlue, true);
    draw(kKiri, 62, kRed, false);
    draw(kKae, 82, kRed, false);
    return px;
}

}  // namespace

Image logoImage() {
    static const auto pixels = build();
    return Image{kLogoWidth, kLogoHeight, pixels};
}

Image logoImage(int width, int height, std::vector<std::uint32_t>& storage) {
    const Image design = logoImage();
    if ((width == kLogoWidth && height == kLogoHeight) || width <= 0 || height <= 0) return design;
    storage.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const int sy = std::min(kLogoHeight - 1, (2 * y + 1) * kLogoHeight / (2 * height));
        for (int x = 0; x < width; ++x) {
            const int sx = std::min(kLogoWidth - 1, (2 * x + 1) * kLogoWidth / (2 * width));
            storage[static_cast<std::size_t>(y * width + x)] = design.pixels[static_cast<std::size_t>(sy * kLogoWidth + sx)];
        }
    }
    return Image{width, height, storage};
}

}  // namespace orvo
