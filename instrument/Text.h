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

// A number as a host writes it back: what floatToText shows, with or
// without `label` (if any) after it, with either decimal point. Not a
// number, infinities (however written) and numbers beyond a double are
// refused. Reads at most 63 characters of `text`.
bool numberFromText(const char* text, const char* label, double& value);
// The same, held to 0..1: a parameter value.
bool valueFromText(const char* text, const char* label, double& value);

// A host's double as the float value the instrument stores; beyond the
// float range it saturates to infinity rather than converting undefinedly.
float valueFromHost(double value);

// Bounded copy that always terminates (size includes the NUL). Null-safe.
void copyText(char* dst, const char* src, size_t size);
