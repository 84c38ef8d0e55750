// The pieces of C++20 the instrument uses that the web toolchain's libc++ 13
// lacks, filled in only when that library is the one compiling. Forced into
// every web translation unit so the shared sources stay as they are.
#pragma once

#include <bit>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_LIBCPP_VERSION) && _LIBCPP_VERSION < 14000

namespace std {

template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
    static_assert(sizeof(To) == sizeof(From));
    return __builtin_bit_cast(To, from);
}

// Only the fixed form with a precision, the one the display text needs.
// The C library's printf is exact and the web runtime has no locale but
// "C", so it gives what to_chars gives elsewhere.
inline to_chars_result to_chars(char* first, char* last, double value, chars_format, int precision) {
    char buf[400];
    const int n = std::snprintf(buf, sizeof buf, "%.*f", precision, value);
    if (n < 0 || n > last - first) return {last, errc::value_too_large};
    std::memcpy(first, buf, static_cast<size_t>(n));
    return {first + n, errc()};
}

// The general form: no leading '+', no hexadecimal, as from_chars reads.
inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                     chars_format = chars_format::general) {
    char buf[128];
    const size_t length = static_cast<size_t>(last - first);
    if (length == 0 || length >= sizeof buf || *first == '+' || *first == ' ' || (*first >= '\t' && *first <= '\r'))
        return {first, errc::invalid_argument};
    std::memcpy(buf, first, length);
    buf[length] = '\0';
    const char* digits = buf[0] == '-' ? buf + 1 : buf;
    if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        value = 0.0;
        return {first + (digits - buf) + 1, errc()};
    }
    char* end = nullptr;
    const double v = std::strtod(buf, &end);
    if (end == buf) return {first, errc::invalid_argument};
    value = v;
    return {first + (end - buf), errc()};
}

}  // namespace std

#endif
