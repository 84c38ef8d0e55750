// How closely a screenshot at scale s matches the 1x one: the scaled picture
// is box-filtered back to the 1x size (each 1x pixel the area-weighted mean
// of the scaled pixels it covers) and compared pixel by pixel; a pixel
// matches when no channel differs by more than `tolerance`. Header-only, for
// the test hosts on both systems.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace orvo::test {

// `big` is bigW x bigH, `small` smallW x smallH (row-major 0xRRGGBB); the
// answer is the share of matching pixels, 0..1.
inline double downscaledMatch(const std::vector<std::uint32_t>& big, int bigW, int bigH,
                              const std::vector<std::uint32_t>& small, int smallW, int smallH, int tolerance = 64) {
    if (big.size() != static_cast<std::size_t>(bigW) * bigH || small.size() != static_cast<std::size_t>(smallW) * smallH ||
        smallW <= 0 || smallH <= 0)
        return 0.0;
    const double sx = static_cast<double>(bigW) / smallW, sy = static_cast<double>(bigH) / smallH;
    long matching = 0;
    for (int y = 0; y < smallH; ++y) {
        for (int x = 0; x < smallW; ++x) {
            const double x0 = x * sx, x1 = (x + 1) * sx, y0 = y * sy, y1 = (y + 1) * sy;
            double sum[3] = {0, 0, 0}, area = 0;
            for (int by = static_cast<int>(y0); by < std::min(bigH, static_cast<int>(std::ceil(y1))); ++by) {
                const double h = std::min<double>(by + 1, y1) - std::max<double>(by, y0);
                for (int bx = static_cast<int>(x0); bx < std::min(bigW, static_cast<int>(std::ceil(x1))); ++bx) {
                    const double w = (std::min<double>(bx + 1, x1) - std::max<double>(bx, x0)) * h;
                    const std::uint32_t p = big[static_cast<std::size_t>(by) * bigW + bx];
                    for (int c = 0; c < 3; ++c) sum[c] += w * ((p >> (16 - 8 * c)) & 0xFF);
                    area += w;
                }
            }
            const std::uint32_t q = small[static_cast<std::size_t>(y) * smallW + x];
            bool same = area > 0;
            for (int c = 0; c < 3 && same; ++c)
                same = std::abs(sum[c] / area - static_cast<double>((q >> (16 - 8 * c)) & 0xFF)) <= tolerance;
            matching += same;
        }
    }
    return static_cast<double>(matching) / (static_cast<double>(smallW) * smallH);
}

}  // namespace orvo::test
