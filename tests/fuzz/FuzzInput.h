// Reads typed values off a fuzzer's byte string; past the end it yields zeros,
// so every input decodes to some finite sequence of operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return pos_ >= size_; }
    uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t u16() { return static_cast<uint16_t>(u8() | (u8() << 8)); }
    uint32_t u32() { return u16() | (static_cast<uint32_t>(u16()) << 16); }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    float rawFloat() {
        uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    // Mostly ordinary values, sometimes anything at all (NaN, infinities, huge).
    float value() {
        uint8_t kind = u8();
        if (kind < 200) return static_cast<float>(u8()) / 255.0f;
        if (kind < 230) return static_cast<float>(static_cast<int16_t>(u16())) / 64.0f;
        return rawFloat();
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};
