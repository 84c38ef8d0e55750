// The one hook between the boundary and the instrument: the entry point asks
// for a new effect object, the instrument provides it.
#pragma once

#include "DAudioEffect.h"

// Thread: the host's thread that calls the entry point.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);
