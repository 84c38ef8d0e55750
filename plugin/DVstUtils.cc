#include "DVstUtils.h"

#include <atomic>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstring>

namespace {
std::atomic<char> gSeparator{'.'};
}

char decimalSeparator() { return gSeparator.load(std::memory_order_relaxed); }

void readDecimalSeparator() {
    const lconv* lc = std::localeconv();
    char sep = '.';
    if (lc && lc->decimal_point && lc->decimal_point[0] != '\0') sep = lc->decimal_point[0];
    gSeparator.store(sep, std::memory_order_relaxed);
}

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
