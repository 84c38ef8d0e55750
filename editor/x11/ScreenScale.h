// The scale an X desktop asks applications to draw at: GDK_SCALE when the
// user set it, else the X server's Xft.dpi resource over the 96 dpi the
// form was designed at, else 1. Shared by the editor and the player, so a
// plug-in and its host agree on one answer.
#pragma once

typedef struct _XDisplay Display;

namespace orvo {

double screenScaleOf(Display* display);
// Opens and closes a connection of its own; 1 without a display.
double screenScaleOfDefaultDisplay();

}  // namespace orvo
