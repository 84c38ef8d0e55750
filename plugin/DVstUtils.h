// Small routines of the plug-in boundary: four-character codes and the
// parameter display's number formatting.
#pragma once

#include <cstddef>
#include <cstdint>

// Packs four characters, first in the most significant byte; only the low
// 8 bits of each character count.
constexpr int32_t fourCharCode(char c1, char c2, char c3, char c4) {
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<unsigned char>(c1)) << 24) |
                                (static_cast<uint32_t>(static_cast<unsigned char>(c2)) << 16) |
                                (static_cast<uint32_t>(static_cast<unsigned char>(c3)) << 8) |
                                static_cast<uint32_t>(static_cast<unsigned char>(c4)));
}
constexpr int32_t fourCharCode(const char (&s)[5]) { return fourCharCode(s[0], s[1], s[2], s[3]); }

// Decimal separator of the loading thread's locale, read once at load.
// Thread: any (read-only after load).
char decimalSeparator();
void readDecimalSeparator();  // load time; exposed for tests

// Nearest integer, ties to even, whatever rounding mode the host's thread
// has set (nearbyint would follow the host's mode).
double roundHalfEven(double x);

// `value` as fixed-point text with two decimals ("%f" with two digits) and
// the locale's separator. Writes at most size - 1 characters plus NUL, so an
// answer never runs past a host's buffer; the default size holds any float.
constexpr size_t kFloatTextMax = 64;
void floatToText(char* text, float value, size_t size = kFloatTextMax);

// Bounded copy that always terminates (size includes the NUL). Null-safe.
void copyText(char* dst, const char* src, size_t size);
