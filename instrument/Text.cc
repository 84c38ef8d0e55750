#include "Text.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <clocale>
#include <cstring>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace {
// Written by the load-time step before any host thread can reach the effect,
// read-only afterwards, so a plain char is enough.
char gSeparator = '.';

char localeSeparator() {
#if defined(_WIN32)
    // The C runtime's locale stays "C" unless the host changes it; the user's
    // separator lives in the thread locale.
    char buf[8] = {};
    if (GetLocaleInfoA(GetThreadLocale(), LOCALE_SDECIMAL, buf, sizeof buf) == 2 &&
        static_cast<unsigned char>(buf[0]) < 0x80)
        return buf[0];
    return '.';
#else
    // A multi-byte separator (U+066B in UTF-8, say) cannot be one char; its
    // first byte alone would be broken text.
    const lconv* lc = std::localeconv();
    if (lc && lc->decimal_point && lc->decimal_point[0] != '\0' && lc->decimal_point[1] == '\0' &&
        static_cast<unsigned char>(lc->decimal_point[0]) < 0x80)
        return lc->decimal_point[0];
    return '.';
#endif
}
}  // namespace

char decimalSeparator() { return gSeparator; }

void readDecimalSeparator() { gSeparator = localeSeparator(); }

void floatToText(char* text, float value, size_t size) {
    if (!text || size == 0) return;
    // to_chars is locale-independent and exact (round-half-even on exact ties),
    // so every build formats the same float to the same text.
    char buf[kFloatTextMax];
    auto res = std::to_chars(buf, buf + sizeof buf - 1, static_cast<double>(value), std::chars_format::fixed, 2);
    size_t n = (res.ec == std::errc()) ? static_cast<size_t>(res.ptr - buf) : 0;
    buf[n] = '\0';
    const char sep = decimalSeparator();
    for (size_t i = 0; i < n; ++i)
        if (buf[i] == '.') buf[i] = sep;
    copyText(text, buf, size);
}

bool numberFromText(const char* text, const char* label, double& value) {
    if (!text) return false;
    char buf[64];
    copyText(buf, text, sizeof buf);
    const size_t length = std::strlen(buf);
    const char sep = decimalSeparator();
    for (size_t i = 0; i < length; ++i)
        if (buf[i] == sep) buf[i] = '.';
    const char* begin = buf;
    const char* end = buf + length;
    while (begin < end && *begin == ' ') ++begin;
    double v = 0.0;
    auto [rest, error] = std::from_chars(begin, end, v);
    if (error != std::errc() || rest == begin) return false;
    while (rest < end && *rest == ' ') ++rest;
    if (rest < end && (!label || std::strcmp(rest, label) != 0)) return false;
    if (!std::isfinite(v)) return false;
    value = v;
    return true;
}

bool valueFromText(const char* text, const char* label, double& value) {
    if (!numberFromText(text, label, value)) return false;
    value = std::clamp(value, 0.0, 1.0);
    return true;
}

float valueFromHost(double value) {
    if (std::isfinite(value) && std::fabs(value) > FLT_MAX) return value > 0 ? HUGE_VALF : -HUGE_VALF;
    return static_cast<float>(value);
}

void copyText(char* dst, const char* src, size_t size) {
    if (!dst || size == 0) return;
    if (!src) {
        dst[0] = '\0';
        return;
    }
    size_t n = 0;
    while (n + 1 < size && src[n] != '\0') ++n;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}
