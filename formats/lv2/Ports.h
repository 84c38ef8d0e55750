// The plug-in's ports as the .ttl description numbers them, shared by the
// instrument, its editor and the test hosts. Parameter i is control port
// kPortFirstControl + i.
#pragma once

#include <cstdint>

#include "Identity.h"
#include "Identity.h"

namespace orvo::lv2 {

inline constexpr uint32_t kPortEvents = 0;  // atom sequence of MIDI in
inline constexpr uint32_t kPortLeft = 1;
inline constexpr uint32_t kPortRight = 2;
inline constexpr uint32_t kPortFirstControl = 3;
inline constexpr uint32_t kPortCount = kPortFirstControl + kNumParams;

inline constexpr bool isControlPort(uint32_t port) { return port >= kPortFirstControl && port < kPortCount; }

}  // namespace orvo::lv2
