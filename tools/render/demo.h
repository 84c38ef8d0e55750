// The phrase orvo-render plays when it is given no MIDI file: about fifteen
// seconds that walk through what the instrument does (gliding legato, the
// wave pairs and the Mix switch, a resonant filter sweep, pitch bend,
// release tails).
#pragma once

#include <functional>
#include <string>

#include "schedule.h"

namespace orvo::render {

// Maps a parameter name to the plug-in's index, or -1. Automation of a
// parameter the plug-in does not have is left out, so the demo still plays
// (as notes alone) through any instrument.
using ParamLookup = std::function<int(const std::string&)>;

Timeline demoTimeline(int sampleRate, const ParamLookup& findParam);

}  // namespace orvo::render
