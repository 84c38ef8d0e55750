// Who the instrument is and how many of each thing it has, whatever the
// format that carries it. Each format's own words live with the format.
#pragma once

#include <cstdint>

namespace orvo {

inline constexpr int kNumPrograms = 32;
inline constexpr int kNumParams = 12;
inline constexpr int kNumOutputs = 2;

inline constexpr char kVendorName[] = "Brimlow";
inline constexpr char kProductName[] = "Orvo Switch Table Synth";

// Programs start out as "init1".."init32".
inline constexpr char kProgramNamePrefix[] = "init";
// Program name storage: 23 characters and the terminating zero.
inline constexpr int kProgramNameSize = 24;

// The unit every parameter shows beside its value.
inline constexpr char kParameterLabel[] = "/1";

// The rate every conversion uses until a host gives one.
inline constexpr float kDefaultSampleRate = 44100.0f;

}  // namespace orvo
