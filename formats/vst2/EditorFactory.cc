#include "EditorFactory.h"

#include "GrEditor.h"
#include "NativePlatform.h"

AEffEditor* createEditor(AudioEffect* effect) {
    auto platform = orvo::createNativePlatform();
    if (!platform) return nullptr;  // no window system in this build
    return new orvo::GrEditor(effect, std::move(platform));
}
