// The one hook between the instrument and its editor: the synthesizer asks
// for its editor object at construction. Thread: the entry point's thread.
#pragma once

#include "DAudioEffect.h"

// Returns the editor for `effect` (owned by the effect), or null where the
// build has no editor.
AEffEditor* createEditor(AudioEffect* effect);
