// The instrument's VST 2 words: the names and numbers only VST 2 hosts see.
#pragma once

#include <cstdint>

namespace orvo {

inline constexpr char kEffectName[] = "OrvoSwitch";
inline constexpr int32_t kVendorVersion = 1;
inline constexpr char kUniqueIdChars[] = "OrvS";
inline constexpr char kOutputLabelFormat[] = "Switch %d";
inline constexpr char kCanDoEvents[] = "receiveVstEvents";
inline constexpr char kCanDoMidi[] = "receiveVstMidiEvent";

}  // namespace orvo
