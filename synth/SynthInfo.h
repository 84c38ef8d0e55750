// Who the instrument is and how many of each thing it has. Every name and
// count the host or the tests see is written here once.
#pragma once

#include <cstdint>

namespace orvo {

inline constexpr int kNumPrograms = 32;
inline constexpr int kNumParams = 12;
inline constexpr int kNumOutputs = 2;

inline constexpr char kEffectName[] = "OrvoSwitch";
inline constexpr char kVendorName[] = "Brimlow";
inline constexpr char kProductName[] = "Orvo Switch Table Synth";
inline constexpr int32_t kVendorVersion = 1;
inline constexpr char kUniqueIdChars[] = "OrvS";

// Programs start out as "init1".."init32".
inline constexpr char kProgramNamePrefix[] = "init";
// Program name storage: 23 characters and the terminating zero.
inline constexpr int kProgramNameSize = 24;

inline constexpr char kParameterLabel[] = "/1";
inline constexpr char kOutputLabelFormat[] = "Switch %d";

inline constexpr char kCanDoEvents[] = "receiveVstEvents";
inline constexpr char kCanDoMidi[] = "receiveVstMidiEvent";

}  // namespace orvo
