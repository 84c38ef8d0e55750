#include "NativePlatform.h"

#if defined(_WIN32)
#include "win32/Win32Platform.h"
#elif defined(ORVO_EDITOR_X11)
#include "x11/X11Platform.h"
#endif

namespace orvo {

std::unique_ptr<Platform> createNativePlatform() {
#if defined(_WIN32)
    return std::make_unique<Win32Platform>();
#elif defined(ORVO_EDITOR_X11)
    return std::make_unique<X11Platform>();
#else
    return nullptr;
#endif
}

}  // namespace orvo
