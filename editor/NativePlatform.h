// This build's window system layer, for whichever format opens the editor.
// Thread: UI.
#pragma once

#include <memory>

#include "Platform.h"

namespace orvo {

// Win32 on Windows, X11 on Linux; null where the build has no window system.
std::unique_ptr<Platform> createNativePlatform();

}  // namespace orvo
