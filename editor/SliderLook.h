// The slider as the layers without a native one (X11, the web page's
// canvas) draw it and hit-test it, so it looks and answers the same on
// both: a sunken channel, ticks on both sides, a flat raised thumb.
#pragma once

#include <algorithm>
#include <cmath>

#include "Platform.h"

namespace orvo {

// Where a slider's channel runs and where the thumb of a position sits, in
// the slider's own pixels.
struct SliderGeometry {
    int cx, top, bottom, max;
    int halfAcross, above, below;  // the thumb: 15 across, 8 along the channel at 1x
    SliderGeometry(Box b, int max, Scale s)
        : cx(b.width / 2), top(s.px(8)), bottom(b.height - s.px(9)), max(max > 0 ? max : 1), halfAcross(s.px(7)),
          above(s.px(4)), below(s.px(3)) {}
    int centre(int p) const { return top + static_cast<int>(std::lround(double(p) * (bottom - top) / max)); }
    int positionAt(int y) const {
        const int p = static_cast<int>(std::lround(double(y - top) * max / (bottom - top)));
        return std::clamp(p, 0, max);
    }
};

// Paints through `fill(colour, left, top, width, height)` and
// `line(colour, x0, y0, x1, y1)` (end point included), with lines `lw`
// pixels wide.
template <class Fill, class Line>
void drawSlider(Fill&& fill, Line&& line, const SliderGeometry& g, int position, int tickEvery, Scale s, int lw) {
    const int e = s.px(2);  // the channel's half width
    // The channel, sunken.
    fill(Colour::White, g.cx - e, g.top - e, 2 * e, g.bottom - g.top + 2 * e);
    line(Colour::BtnShadow, g.cx - e, g.top - e, g.cx + e - lw, g.top - e);
    line(Colour::BtnShadow, g.cx - e, g.top - e, g.cx - e, g.bottom + e - lw);
    line(Colour::BtnHighlight, g.cx + e, g.top - e, g.cx + e, g.bottom + e);
    line(Colour::BtnHighlight, g.cx - e, g.bottom + e, g.cx + e, g.bottom + e);
    // Ticks on both sides.
    for (int p = 0; p <= g.max; p += std::max(tickEvery, 1)) {
        const int ty = g.centre(p);
        line(Colour::Black, g.cx - g.halfAcross - s.px(5), ty, g.cx - g.halfAcross - s.px(3), ty);
        line(Colour::Black, g.cx + g.halfAcross + s.px(3), ty, g.cx + g.halfAcross + s.px(5), ty);
    }
    // The thumb, a flat raised block with a bevel one line wide.
    const int c = g.centre(std::clamp(position, 0, g.max));
    const int l = g.cx - g.halfAcross, r = g.cx + g.halfAcross;
    const int t = c - g.above, b = c + g.below;
    fill(Colour::BtnFace, l, t, r - l + 1, b - t + 1);
    line(Colour::BtnHighlight, l, t, r - lw, t);
    line(Colour::BtnHighlight, l, t, l, b - lw);
    line(Colour::Black, l, b, r, b);
    line(Colour::Black, r, t, r, b);
    line(Colour::BtnShadow, l + lw, b - lw, r - lw, b - lw);
    line(Colour::BtnShadow, r - lw, t + lw, r - lw, b - lw);
}

}  // namespace orvo
