// The guide's pictures, from renders of the VST 2 plug-in: envelope shapes,
// the filter types and the envelope's share in the cut-off, the Mix switch
// and glide. Written into the build folder; the copies in docs/guide must be
// the same bytes, so a change of sound or drawing shows up here (copy them
// over with scripts/guide-pictures.sh after looking at them).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../editor/PngWriter.h"
#include "ParamTable.h"
#include "plugin_host.h"
#include "renderer.h"
#include "schedule.h"
#include "sound_measure.h"

namespace orvo {
namespace {

constexpr int kRate = 44100;
constexpr uint32_t kBackground = 0x1b1f27, kRule = 0x3a4150, kInk[] = {0x7fd1b9, 0xf2b880, 0xa9b8ff};

struct Note {
    int key;
    double on, off;  // seconds
};

class Sink : public render::FrameSink {
public:
    std::vector<float> samples;
    void write(const float* interleaved, int frames) override {
        samples.insert(samples.end(), interleaved, interleaved + 2 * frames);
    }
};

// The left channel of a render of `notes` at velocity 100 with the default
// values but for `values` (index, value).
std::vector<float> renderNotes(std::initializer_list<std::pair<int, float>> values, std::vector<Note> notes,
                               double seconds) {
    render::PluginHost host(ORVO_PLUGIN, render::HostSettings{kRate, 512});
    for (int p = 0; p < kNumParams; ++p) host.setParameter(p, kParams[p].defaultValue);
    for (auto [index, value] : values) host.setParameter(index, value);
    render::Timeline t;
    for (const Note& n : notes) {
        t.events.push_back(render::HostEvent::midiMessage(int64_t(n.on * kRate), 0x90, uint8_t(n.key), 100));
        t.events.push_back(render::HostEvent::midiMessage(int64_t(n.off * kRate), 0x80, uint8_t(n.key), 0));
    }
    std::stable_sort(t.events.begin(), t.events.end(), [](auto& a, auto& b) { return a.frame < b.frame; });
    t.endFrame = int64_t(seconds * kRate);
    render::BlockScheduler schedule(t, 512);
    render::RenderSettings settings;
    settings.tailSeconds = 0.0;
    Sink sink;
    render::render(host, schedule, settings, sink);
    std::vector<float> left(sink.samples.size() / 2);
    for (size_t i = 0; i < left.size(); ++i) left[i] = sink.samples[2 * i];
    return left;
}

// Lanes stacked top to bottom, each drawn by one of the functions below.
struct Picture {
    int width, laneHeight, lanes;
    std::vector<uint32_t> pixels;
    Picture(int w, int h, int n) : width(w), laneHeight(h), lanes(n), pixels(size_t(w) * h * n, kBackground) {}
    void put(int lane, int x, int y, uint32_t color) {
        if (x >= 0 && x < width && y >= 0 && y < laneHeight) pixels[size_t(lane * laneHeight + y) * width + x] = color;
    }
    void rule(int lane) {
        for (int x = 0; x < width; ++x) put(lane, x, laneHeight - 1, kRule);
    }
    // Each column spans the lowest to the highest sample of its frames.
    void wave(int lane, const std::vector<float>& s, size_t from, size_t to, uint32_t ink, float scale) {
        for (int x = 0; x < width; ++x) {
            size_t a = from + (to - from) * size_t(x) / size_t(width), b = from + (to - from) * size_t(x + 1) / size_t(width);
            float lo = 0, hi = 0;
            for (size_t f = a; f < std::max(b, a + 1) && f < s.size(); ++f) lo = std::min(lo, s[f]), hi = std::max(hi, s[f]);
            auto row = [&](float v) { return int((1.0f - std::clamp(v * scale, -1.0f, 1.0f)) * 0.5f * float(laneHeight - 3)) + 1; };
            for (int y = row(hi); y <= row(lo); ++y) put(lane, x, y, ink);
        }
        rule(lane);
    }
    // Energy of eight octave bands over time, 62.5 Hz at the bottom, as shades of one ink.
    void bands(int lane, const std::vector<float>& s, uint32_t ink) {
        std::vector<float> stereo(2 * s.size());
        for (size_t i = 0; i < s.size(); ++i) stereo[2 * i] = s[i];
        presets_test::Profile p = presets_test::profileOf(stereo, kRate, 512);
        const int cells = int(p.cells.size()) / presets_test::kBands, rows = laneHeight - 1;
        // Shades from 40 dB below the lane's loudest cell: the spectrum's shape, whatever the level.
        const double top = *std::max_element(p.cells.begin(), p.cells.end());
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < rows; ++y) {
                int band = (rows - 1 - y) * presets_test::kBands / rows;
                double db = p.cells[size_t(x * cells / width) * presets_test::kBands + size_t(band)];
                double k = std::clamp((db - top + 40.0) / 40.0, 0.0, 1.0);
                auto mix = [&](int shift) { return uint32_t(double((kBackground >> shift) & 255) * (1 - k) + double((ink >> shift) & 255) * k) << shift; };
                put(lane, x, y, mix(16) | mix(8) | mix(0));
            }
        rule(lane);
    }
    // A pitch line from zero crossings, 55 Hz at the bottom to 880 Hz at the top.
    void pitch(int lane, const std::vector<float>& s, uint32_t ink) {
        const size_t window = 2048;
        for (int x = 0; x < width; ++x) {
            size_t a = s.size() * size_t(x) / size_t(width), crossings = 0;
            for (size_t f = a + 1; f < std::min(a + window, s.size()); ++f) crossings += (s[f - 1] < 0) != (s[f] < 0);
            if (crossings < 4) continue;
            double hz = double(crossings) / 2.0 * kRate / double(window);
            int y = int((1.0 - std::log2(hz / 55.0) / 4.0) * (laneHeight - 3)) + 1;
            for (int dy = -1; dy <= 1; ++dy) put(lane, x, y + dy, ink);
        }
    }
};

std::vector<uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAndCompare(const Picture& picture, const std::string& name) {
    const std::string made = std::string(ORVO_BINARY_DIR) + "/guide/" + name;
    ASSERT_TRUE(orvo::test::writePng(made, picture.width, picture.laneHeight * picture.lanes, picture.pixels));
    EXPECT_EQ(bytesOf(made), bytesOf(std::string(ORVO_SOURCE_DIR) + "/docs/guide/" + name))
        << "docs/guide/" << name << " is not the picture the renders make now: look at " << made
        << " and copy it over (scripts/guide-pictures.sh)";
}

TEST(GuidePictures, DrawnFromRenders) {
    std::filesystem::create_directories(std::string(ORVO_BINARY_DIR) + "/guide");
    // Envelopes: a pluck, a swell, an organ; each note held for a second.
    const std::vector<Note> held = {{57, 0.05, 1.05}};
    Picture envelope(640, 80, 3);
    envelope.wave(0, renderNotes({{kParamAttack, 0}, {kParamDecay, 0.5f}, {kParamSustain, 0}, {kParamRelease, 0.3f}}, held, 2), 0, 2 * kRate, kInk[0], 6);
    envelope.wave(1, renderNotes({{kParamAttack, 1}, {kParamDecay, 0.6f}, {kParamSustain, 0.7f}, {kParamRelease, 0.8f}}, held, 2), 0, 2 * kRate, kInk[1], 6);
    envelope.wave(2, renderNotes({{kParamAttack, 0}, {kParamDecay, 0}, {kParamSustain, 1}, {kParamRelease, 0.1f}}, held, 2), 0, 2 * kRate, kInk[2], 6);
    writeAndCompare(envelope, "envelope.png");

    // Filter: a saw through each type, then the envelope opening a closed low-pass.
    const std::vector<Note> low = {{45, 0.0, 0.8}};
    auto saw = [&](float type, float cut, float env) {
        return renderNotes({{kParamWave1, 1 / 3.0f}, {kParamWave2, 1 / 3.0f}, {kParamType, type}, {kParamCutOff, cut},
                            {kParamQ, 0.5f}, {kParamEnv, env}, {kParamDecay, 0.8f}, {kParamSustain, 0.6f}}, low, 1);
    };
    Picture filter(640, 48, 5);
    filter.bands(0, saw(0, 0.5f, 0), kInk[0]);
    filter.bands(1, saw(0.5f, 0.5f, 0), kInk[0]);
    filter.bands(2, saw(1, 0.5f, 0), kInk[0]);
    filter.bands(3, saw(0, 0.2f, 0), kInk[1]);
    filter.bands(4, saw(0, 0.2f, 1), kInk[1]);
    writeAndCompare(filter, "filter.png");

    // Mix: sine switching to square at three settings; four periods of 110 Hz.
    const std::vector<Note> steady = {{45, 0.0, 0.5}};
    Picture mix(640, 80, 3);
    const size_t from = kRate / 10, to = from + size_t(4 * kRate / 110.0);
    int lane = 0;
    for (float m : {0.25f, 0.5f, 0.75f})
        mix.wave(lane, renderNotes({{kParamWave1, 0}, {kParamWave2, 2 / 3.0f}, {kParamMix, m}, {kParamCutOff, 1}, {kParamEnv, 0},
                                    {kParamAttack, 0}, {kParamSustain, 1}}, steady, 0.3), from, to, kInk[lane], 5),
            ++lane;
    writeAndCompare(mix, "mix.png");

    // Glide: A2 to A4 and back, legato, at Drag 0, 0.9 and 1.
    const std::vector<Note> legato = {{45, 0.0, 0.55}, {69, 0.5, 1.05}, {45, 1.0, 1.6}};
    Picture glide(640, 120, 1);
    lane = 0;
    for (float d : {0.0f, 0.9f, 1.0f})
        glide.pitch(0, renderNotes({{kParamWave1, 0}, {kParamWave2, 0}, {kParamDrag, d}, {kParamCutOff, 1}, {kParamEnv, 0},
                                    {kParamAttack, 0}, {kParamSustain, 1}}, legato, 1.6), kInk[lane++]);
    glide.rule(0);
    writeAndCompare(glide, "glide.png");
}

}  // namespace
}  // namespace orvo
