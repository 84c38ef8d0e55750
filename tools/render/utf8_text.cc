#include "utf8_text.h"

namespace orvo::render {
namespace {

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Well-formed UTF-8 as RFC 3629 has it: no overlong forms, no surrogates,
// nothing past U+10FFFF.
bool validUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t length = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (length == 0 || s.size() - i < length) return false;
        for (size_t k = 1; k < length; ++k)
            if (!continuation(static_cast<unsigned char>(s[i + k]))) return false;
        const unsigned char second = static_cast<unsigned char>(length > 1 ? s[i + 1] : 0);
        if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
            (c == 0xF4 && second > 0x8F))
            return false;
        i += length;
    }
    return true;
}

}  // namespace

std::string toUtf8(std::string_view raw) {
    if (validUtf8(raw)) return std::string(raw);
    std::string text;
    for (unsigned char c : raw) {
        if (c < 0x80) {
            text += char(c);
        } else {
            text += char(0xC0 | (c >> 6));
            text += char(0x80 | (c & 0x3F));
        }
    }
    return text;
}

size_t utf8Length(std::string_view text) {
    size_t n = 0;
    for (unsigned char c : text) n += !continuation(c);
    return n;
}

std::string utf8Prefix(const std::string& text, size_t characters) {
    size_t seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (continuation(static_cast<unsigned char>(text[i]))) continue;
        if (seen++ == characters) return text.substr(0, i);
    }
    return text;
}

}  // namespace orvo::render
