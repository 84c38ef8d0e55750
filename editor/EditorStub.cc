#include "EditorFactory.h"

AEffEditor* createEditor(AudioEffect*) { return nullptr; }
