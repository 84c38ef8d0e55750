// How this folder's objects look to a host: each interface is a "face", a
// word holding its function table followed by the object that answers, so
// one C++ object can hand out several interfaces sharing one reference
// count. Also the UTF-16 text every VST 3 string field uses.
#pragma once

#include <cstddef>
#include <cstdint>

#include <travesty/base.h>

namespace orvo::vst3 {

template <class Owner>
struct Face {
    const void* table;
    Owner* owner;
    static Owner& of(void* self) { return *static_cast<Face*>(self)->owner; }
};

inline bool sameId(const v3_tuid a, const v3_tuid b) { return v3_tuid_match(a, b); }

// ASCII into a host's UTF-16 field, always terminated.
inline void toUtf16(int16_t* out, const char* text, size_t size) {
    size_t i = 0;
    for (; text && text[i] && i + 1 < size; ++i) out[i] = static_cast<unsigned char>(text[i]);
    if (size) out[i] = 0;
}

// A host's UTF-16 text as ASCII; anything beyond ASCII becomes '?', which
// no number or label holds. Always terminated.
inline void fromUtf16(char* out, const int16_t* text, size_t size) {
    size_t i = 0;
    for (; text && text[i] && i + 1 < size; ++i) {
        const uint16_t c = static_cast<uint16_t>(text[i]);
        out[i] = c < 0x80 ? static_cast<char>(c) : '?';
    }
    if (size) out[i] = '\0';
}

}  // namespace orvo::vst3
