// A stereo render drawn as a waveform picture, for the README: each column
// spans the lowest to the highest sample of its stretch of frames.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "../editor/PngWriter.h"

namespace orvo::render::test {

struct Waveform {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // 0xRRGGBB
    int silentColumns = 0;         // columns without a sample above a 16-bit step
};

// The left channel in the upper lane, the right in the lower one; a
// lighter line marks each second.
inline Waveform drawWaveform(const std::vector<float>& interleaved, int sampleRate, int width, int height) {
    constexpr uint32_t kBackground = 0x1b1f27, kSecond = 0x2c323d, kAxis = 0x3a4150, kWave = 0x7fd1b9;
    Waveform w{width, height, std::vector<uint32_t>(size_t(width) * size_t(height), kBackground), 0};
    const size_t frames = interleaved.size() / 2;
    const int lane = height / 2;
    const auto frameAt = [&](int x) { return frames * size_t(x) / size_t(width); };
    const auto put = [&](int x, int y, uint32_t color) { w.pixels[size_t(y) * size_t(width) + size_t(x)] = color; };
    for (int x = 0; x < width; ++x) {
        if (x > 0 && frameAt(x) / size_t(sampleRate) != frameAt(x - 1) / size_t(sampleRate))
            for (int y = 0; y < height; ++y) put(x, y, kSecond);
        bool silent = true;
        for (int channel = 0; channel < 2; ++channel) {
            const int top = channel * lane;
            const auto row = [&](float value) {
                float clamped = std::clamp(value, -1.0f, 1.0f);
                return top + std::clamp(int((1.0f - clamped) * 0.5f * float(lane - 1) + 0.5f), 0, lane - 1);
            };
            put(x, row(0.0f), kAxis);
            float low = 0.0f, high = 0.0f;
            for (size_t f = frameAt(x); f < std::max(frameAt(x + 1), frameAt(x) + 1) && f < frames; ++f) {
                low = std::min(low, interleaved[2 * f + size_t(channel)]);
                high = std::max(high, interleaved[2 * f + size_t(channel)]);
            }
            if (high - low >= 1.0f / 32768.0f) silent = false;
            for (int y = row(high); y <= row(low); ++y) put(x, y, kWave);
        }
        w.silentColumns += silent;
    }
    return w;
}

inline bool writeWaveform(const std::string& path, const Waveform& w) {
    return orvo::test::writePng(path, w.width, w.height, w.pixels);
}

}  // namespace orvo::render::test
