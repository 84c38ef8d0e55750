// The saved state (its layout is in Instrument.h).
#include <cstring>

#include "Instrument.h"
#include "ParamTable.h"

namespace orvo {

namespace {

constexpr char kStateMagic[4] = {'O', 'R', 'V', 'O'};
constexpr uint32_t kStateVersion = 1;

void putWord(unsigned char* at, uint32_t w) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(w >> (8 * i));
}

uint32_t getWord(const unsigned char* at) {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w |= static_cast<uint32_t>(at[i]) << (8 * i);
    return w;
}

}  // namespace

void Instrument::saveState(unsigned char (&bytes)[kStateSize]) const {
    std::memcpy(bytes, kStateMagic, 4);
    putWord(bytes + 4, kStateVersion);
    putWord(bytes + 8, kNumParams);
    for (int32_t i = 0; i < kNumParams; ++i) {
        const float v = value(i);
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        putWord(bytes + 12 + 4 * i, bits);
    }
}

bool Instrument::loadState(const unsigned char* bytes, size_t size) {
    if (!bytes || size != kStateSize || std::memcmp(bytes, kStateMagic, 4) != 0) return false;
    if (getWord(bytes + 4) != kStateVersion || getWord(bytes + 8) != kNumParams) return false;
    float values[kNumParams];
    for (int32_t i = 0; i < kNumParams; ++i) {
        const uint32_t bits = getWord(bytes + 12 + 4 * i);
        std::memcpy(&values[i], &bits, 4);
    }
    setValues(values);
    return true;
}

}  // namespace orvo
