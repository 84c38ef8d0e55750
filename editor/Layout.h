// Geometry shared by the platform layers, so that a radio group or a group
// frame sits the same on every window system. Every quantity is the 1x
// design value taken through the form's Scale.
#pragma once

#include "Platform.h"

namespace orvo {

// Line height of the form's 12-pixel font.
inline constexpr int kTextHeight = 14;

// Box of radio item `index` of `count` inside a group of `groupWidth` by
// `groupHeight` (already scaled), one column, in the group's coordinates:
// the items share what is left below the caption line, the remainder split
// above and below.
inline Box radioItemBox(int groupWidth, int groupHeight, int count, int index, Scale s = {}) {
    if (count <= 0) return {};
    const int space = groupHeight - s.px(kTextHeight) - s.px(5);
    const int itemHeight = space / count;
    const int topMargin = s.px(kTextHeight) + s.px(1) + (space % count) / 2;
    return Box{s.px(8), topMargin + index * itemHeight, groupWidth - s.px(10), itemHeight};
}

// A label's box (already scaled) made tall enough for the font's line and a
// little wider, as an auto-sized label would be; a bottom-aligned label
// keeps its baseline.
inline Box labelBox(Box b, bool alignBottom, Scale s = {}) {
    const int textHeight = s.px(kTextHeight);
    const int grow = b.height < textHeight ? textHeight - b.height : 0;
    return Box{b.left, alignBottom ? b.top - grow : b.top, b.width + s.px(6), b.height + grow};
}

// The caption of a group frame starts this far from its left edge; the frame
// line runs through the middle of the caption.
inline constexpr int kGroupCaptionLeft = 8;
inline constexpr int kGroupFrameTop = kTextHeight / 2;

}  // namespace orvo
