// The editor: none yet; hosts open their own generic view of the parameters.
#include "Vst3Synth.h"

namespace orvo::vst3 {

v3_plugin_view** createView(Vst3Synth&, const char*) { return nullptr; }  // main

}  // namespace orvo::vst3
