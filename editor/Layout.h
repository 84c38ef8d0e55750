// Geometry shared by the platform layers, so that a radio group or a group
// frame sits the same on every window system.
#pragma once

#include "Platform.h"

namespace orvo {

// Line height of the form's 12-pixel font.
inline constexpr int kTextHeight = 14;

// Box of radio item `index` of `count` inside a group of `groupWidth` by
// `groupHeight`, one column, in the group's coordinates: the items share
// what is left below the caption line, the remainder split above and below.
inline Box radioItemBox(int groupWidth, int groupHeight, int count, int index) {
    if (count <= 0) return {};
    const int space = groupHeight - kTextHeight - 5;
    const int itemHeight = space / count;
    const int topMargin = kTextHeight + 1 + (space % count) / 2;
    return Box{8, topMargin + index * itemHeight, groupWidth - 10, itemHeight};
}

// A label's box made tall enough for the font's line and a little wider, as
// an auto-sized label would be; a bottom-aligned label keeps its baseline.
inline Box labelBox(Box b, bool alignBottom) {
    const int grow = b.height < kTextHeight ? kTextHeight - b.height : 0;
    return Box{b.left, alignBottom ? b.top - grow : b.top, b.width + 6, b.height + grow};
}

// The caption of a group frame starts this far from its left edge; the frame
// line runs through the middle of the caption.
inline constexpr int kGroupCaptionLeft = 8;
inline constexpr int kGroupFrameTop = kTextHeight / 2;

}  // namespace orvo
