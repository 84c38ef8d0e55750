// This build's window system layer, for whichever format opens the editor.
// Thread: UI.
#pragma once

#include <memory>

#include "Platform.h"

namespace orvo {

// Win32 on Windows, X11 on Linux; null where the build has no window system.
std::unique_ptr<Platform> createNativePlatform();

// Whether an embedded editor needs a timer of the host's to run on: Win32
// windows get their messages from the host's loop; the X connection is read
// on the host's timer. Its period, as often as a VST 2 host idles editors.
#if defined(_WIN32)
inline constexpr bool kNeedsHostTimer = false;
#else
inline constexpr bool kNeedsHostTimer = true;
#endif
inline constexpr int kHostTimerMs = 40;

}  // namespace orvo
