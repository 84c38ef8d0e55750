// Compares a live recording with an offline render of the same phrase: both
// are trimmed of the silence before their first sound (the recording starts
// when the player does, the render at the phrase), then every sample of the
// render must be in the recording, bit for bit.
//
//   orvo-wav-compare RECORDING.wav RENDER.wav
//   orvo-wav-compare RECORDING.wav     (only: is it a finished, readable file)
#include <sndfile.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

bool read(const char* path, std::vector<float>& out, int& rate) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path, SFM_READ, &info);
    if (!f || info.channels != 2) {
        std::fprintf(stderr, "%s: %s\n", path, f ? "not stereo" : sf_strerror(nullptr));
        if (f) sf_close(f);
        return false;
    }
    out.resize(size_t(info.frames) * 2);
    const sf_count_t got = sf_readf_float(f, out.data(), info.frames);
    out.resize(size_t(got) * 2);
    rate = info.samplerate;
    sf_close(f);
    return true;
}

size_t firstSound(const std::vector<float>& v) {
    size_t i = 0;
    while (i < v.size() && v[i] == 0.0f) ++i;
    return i / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::vector<float> rec, ren;
    int rateRec = 0, rateRen = 0;
    if (argc == 2) {
        if (!read(argv[1], rec, rateRec) || rec.empty()) return 1;
        std::printf("%s: %zu frames at %d Hz\n", argv[1], rec.size() / 2, rateRec);
        return 0;
    }
    if (!read(argv[1], rec, rateRec) || !read(argv[2], ren, rateRen)) return 1;
    const size_t a = firstSound(rec), b = firstSound(ren);
    if (rateRec != rateRen || b * 2 == ren.size() || a * 2 == rec.size()) {
        std::fprintf(stderr, "rates %d/%d, or one of them is silent\n", rateRec, rateRen);
        return 1;
    }
    const size_t frames = ren.size() / 2 - b;
    if (rec.size() / 2 - a < frames) {
        std::fprintf(stderr, "the recording holds %zu frames of the phrase, the render %zu\n", rec.size() / 2 - a, frames);
        return 1;
    }
    for (size_t i = 0; i < frames * 2; ++i) {
        uint32_t x, y;
        std::memcpy(&x, &rec[a * 2 + i], 4);
        std::memcpy(&y, &ren[b * 2 + i], 4);
        if (x != y) {
            std::fprintf(stderr, "frame %zu of the phrase differs: %.9g live, %.9g rendered\n", i / 2, rec[a * 2 + i],
                         ren[b * 2 + i]);
            return 1;
        }
    }
    std::printf("%zu frames of the phrase are the same bits live and rendered (sound starts at frame %zu of the recording)\n",
                frames, a);
    return 0;
}
