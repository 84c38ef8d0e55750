// Text the instrument shows: a parameter value's display and bounded copies
// into the buffers hosts hand over. Host-free, for every front end.
#pragma once

#include <cstddef>

// Decimal separator of the loading thread's locale, read once at load.
// Thread: any (read-only after load).
char decimalSeparator();
void readDecimalSeparator();  // load time; exposed for tests

// `value` as fixed-point text with two decimals ("%f" with two digits) and
// the locale's separator. Writes at most size - 1 characters plus NUL, so an
// answer never runs past a host's buffer; the default size holds any float.
constexpr size_t kFloatTextMax = 64;
void floatToText(char* text, float value, size_t size = kFloatTextMax);

// Bounded copy that always terminates (size includes the NUL). Null-safe.
void copyText(char* dst, const char* src, size_t size);
