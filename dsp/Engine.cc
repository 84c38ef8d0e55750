// Construction and reset of the render core.
#include "Engine.h"

#include "Tables.h"

namespace orvo {

Engine::Engine() { reset(); }

void Engine::reset() {
    bank_ = VoiceBank{};
    quiet_ = QuietState{};
    waveTables();  // built here at the latest, never on the audio thread
}

}  // namespace orvo
