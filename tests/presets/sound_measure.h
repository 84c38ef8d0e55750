// How loud a preset's phrase is and how far it sounds from another: peaks in
// dBFS, and a band-energy profile over time whose distance is in dB.
//
// The profile: both channels summed, split into eight octave bands (second-
// order band-passes centred on 62.5 Hz .. 8 kHz) and cut into 2048-frame
// frames; each cell is the band's energy in dB, floored at -80 dB so that
// silence in both renders counts as no difference. The distance between two
// profiles is the root mean square of the cells' differences: 0 for the same
// sound, about 3 dB for the difference a listener hears at once between two
// timbres or envelopes (a filter moved by a tenth, a wave swapped).
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace orvo::presets_test {

struct Profile {
    std::vector<double> cells;  // frames x bands, dB
};

inline double peakDbfs(const std::vector<float>& interleaved) {
    float peak = 0.0f;
    for (float s : interleaved) peak = std::max(peak, std::fabs(s));
    return peak > 0.0f ? 20.0 * std::log10(peak) : -1000.0;
}

inline constexpr int kBands = 8;

inline Profile profileOf(const std::vector<float>& interleaved, double rate, int frameLength = 2048) {
    constexpr double kPi = 3.14159265358979323846;
    const size_t frames = interleaved.size() / 2;
    Profile profile;
    profile.cells.assign(frames / frameLength * kBands, -80.0);
    for (int band = 0; band < kBands; ++band) {
        // A constant-peak band-pass, one octave wide.
        const double w = 2.0 * kPi * 62.5 * std::pow(2.0, band) / rate;
        const double alpha = std::sin(w) * std::sinh(std::log(2.0) / 2.0 * w / std::sin(w));
        const double a0 = 1.0 + alpha;
        const double b0 = alpha / a0, b2 = -alpha / a0, a1 = -2.0 * std::cos(w) / a0, a2 = (1.0 - alpha) / a0;
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0, energy = 0;
        for (size_t i = 0; i + 1 <= frames / frameLength * frameLength; ++i) {
            const double x = double(interleaved[2 * i]) + double(interleaved[2 * i + 1]);
            const double y = b0 * x + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1, x1 = x, y2 = y1, y1 = y;
            energy += y * y;
            if ((i + 1) % frameLength == 0) {
                profile.cells[(i / frameLength) * kBands + band] = std::max(-80.0, 10.0 * std::log10(energy / frameLength + 1e-30));
                energy = 0;
            }
        }
    }
    return profile;
}

inline double distanceDb(const Profile& a, const Profile& b) {
    const size_t n = std::min(a.cells.size(), b.cells.size());
    double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += (a.cells[i] - b.cells[i]) * (a.cells[i] - b.cells[i]);
    return n ? std::sqrt(sum / n) : 0.0;
}

}  // namespace orvo::presets_test
