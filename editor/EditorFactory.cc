#include "EditorFactory.h"

#include "GrEditor.h"

#if defined(_WIN32)
#include "win32/Win32Platform.h"
#elif defined(ORVO_EDITOR_X11)
#include "x11/X11Platform.h"
#endif

AEffEditor* createEditor(AudioEffect* effect) {
#if defined(_WIN32)
    return new orvo::GrEditor(effect, std::make_unique<orvo::Win32Platform>());
#elif defined(ORVO_EDITOR_X11)
    return new orvo::GrEditor(effect, std::make_unique<orvo::X11Platform>());
#else
    (void)effect;
    return nullptr;  // no window system in this build
#endif
}
