// What the page's canvas draws, as a flat list of 32-bit words the page
// reads straight out of the module's memory: the form is painted here and
// replayed in JavaScript, so no call crosses into the page while painting
// and the module keeps needing no imports.
//
// Coordinates are backing-store pixels, relative to the innermost Begin.
// Colours are 0xRRGGBB. The page's reader is web/editor.mjs; the two change
// together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace orvo::web {

enum class Op : std::int32_t {
    Begin = 1,      // left top width height: origin moves there, drawing clipped to it
    End,            // back to the enclosing origin and clip
    Rect,           // rgb left top width height: filled
    FillEllipse,    // rgb left top width height: the ellipse in that box of pixel edges
    StrokeEllipse,  // rgb lineWidth left top width height: through pixel centres, as a drawn arc
    Arc,            // rgb lineWidth left top width height start extent: 64ths of a degree, counter-clockwise
    Line,           // rgb lineWidth x1 y1 x2 y2: a wide pen's stroke with round ends
    Pixels,         // rgb count then count (x, y) pairs
    Text,           // rgb left baseline pixelSize background pad backTop backHeight byteCount then the bytes
    Image,          // left top width height address: width * height 0xRRGGBB words
};

class DisplayList {
public:
    void clear() { words_.clear(); }
    const std::int32_t* data() const { return words_.data(); }
    int size() const { return static_cast<int>(words_.size()); }

    void op(Op o, std::initializer_list<std::int32_t> args) {
        words_.push_back(static_cast<std::int32_t>(o));
        words_.insert(words_.end(), args);
    }
    void word(std::int32_t w) { words_.push_back(w); }
    // For a count known only once its items are written.
    void patch(std::size_t at, std::int32_t w) { words_[at] = w; }
    // Packed four to a word, first byte lowest, as the page's Uint8Array sees them.
    void bytes(std::string_view s) {
        word(static_cast<std::int32_t>(s.size()));
        for (std::size_t i = 0; i < s.size(); i += 4) {
            std::uint32_t w = 0;
            for (std::size_t k = 0; k < 4 && i + k < s.size(); ++k)
                w |= static_cast<std::uint32_t>(static_cast<unsigned char>(s[i + k])) << (8 * k);
            word(static_cast<std::int32_t>(w));
        }
    }

private:
    std::vector<std::int32_t> words_;
};

}  // namespace orvo::web
