#include "demo.h"

#include <algorithm>
#include <cmath>

#include "midi_file.h"

namespace orvo::render {
namespace {

constexpr uint32_t kTicksPerBeat = 480;
constexpr uint32_t kMicrosPerBeat = 625000;  // 96 BPM
// Automation and bend move in steps of 8 ticks (about 10 ms): smooth to the
// ear, and still only a few points per block.
constexpr uint32_t kCurveStep = 8;

uint64_t ticks(double beats) { return static_cast<uint64_t>(std::llround(beats * kTicksPerBeat)); }

// Builds the phrase in musical time; frames come from the same tempo
// arithmetic as a MIDI file's, so the demo is exact at any sample rate.
class Score {
public:
    Score(int sampleRate, const ParamLookup& findParam) : rate_(sampleRate), find_(findParam) {
        clock_.ticksPerQuarter = kTicksPerBeat;
        clock_.tempos.push_back({0, kMicrosPerBeat});
    }

    void note(double beat, double lengthBeats, uint8_t key, uint8_t velocity) {
        midi(ticks(beat), 0x90, key, velocity);
        midi(ticks(beat + lengthBeats), 0x80, key, 64);
        end_ = std::max(end_, ticks(beat + lengthBeats));
    }

    void set(double beat, const char* name, float value) {
        int index = find_(name);
        if (index >= 0) timeline_.events.push_back(HostEvent::parameter(frame(ticks(beat)), index, value));
    }

    // A parameter moving from `from` to `to`, shaped by `curve` (0..1 -> 0..1).
    template <class Curve>
    void sweep(double fromBeat, double toBeat, const char* name, float from, float to, Curve curve) {
        uint64_t a = ticks(fromBeat), b = ticks(toBeat);
        for (uint64_t t = a; t <= b; t += kCurveStep) {
            double x = double(t - a) / double(b - a);
            set(double(t) / kTicksPerBeat, name, static_cast<float>(from + (to - from) * curve(x)));
        }
    }

    // Pitch bend in semitones within the instrument's range of one; `shape`
    // maps 0..1 over the span to a bend of -1..1.
    template <class Shape>
    void bend(double fromBeat, double toBeat, Shape shape) {
        uint64_t a = ticks(fromBeat), b = ticks(toBeat);
        for (uint64_t t = a; t <= b; t += kCurveStep) bendTo(t, shape(double(t - a) / double(b - a)));
        bendTo(b, shape(1.0));
    }

    Timeline finish(double tailBeats) {
        timeline_.endFrame = frame(end_ + ticks(tailBeats));
        return std::move(timeline_);
    }

private:
    int64_t frame(uint64_t tick) const { return clock_.tickToFrame(tick, rate_); }
    void midi(uint64_t tick, uint8_t status, uint8_t a, uint8_t b) {
        timeline_.events.push_back(HostEvent::midiMessage(frame(tick), status, a, b));
    }
    void bendTo(uint64_t tick, double semitones) {
        int value = 8192 + static_cast<int>(std::lround(std::clamp(semitones, -1.0, 1.0) * 8191));
        midi(tick, 0xE0, uint8_t(value & 0x7F), uint8_t(value >> 7));
    }

    int rate_;
    const ParamLookup& find_;
    MidiFile clock_;
    Timeline timeline_;
    uint64_t end_ = 0;
};

double easeIn(double x) { return x * x; }
double easeOut(double x) { return 1.0 - (1.0 - x) * (1.0 - x); }
double linear(double x) { return x; }

// Wave parameter values: the instrument picks round(value * 3).
constexpr float kSine = 0.0f, kSaw = 1.0f / 3.0f, kSquare = 2.0f / 3.0f, kTriangle = 1.0f;

}  // namespace

Timeline demoTimeline(int sampleRate, const ParamLookup& findParam) {
    Score s(sampleRate, findParam);
    enum : uint8_t { C3 = 48, Db3, D3, Eb3, E3, F3, Gb3, G3, Ab3, A3, Bb3, B3, C4, Db4, D4, Eb4, E4, F4, Gb4, G4, Ab4, A4, Bb4, B4, C5, Db5, D5 };

    // Bars 1-2: saw against square, a gliding D-minor line under a resonant
    // low-pass that opens as it goes.
    s.set(0, "A", 0.05f);
    s.set(0, "D", 0.5f);
    s.set(0, "S", 0.6f);
    s.set(0, "R", 0.45f);
    s.set(0, "Q", 0.6f);
    s.set(0, "Type", 0.0f);
    s.set(0, "Env", 0.55f);
    s.set(0, "Wave1", kSaw);
    s.set(0, "Wave2", kSquare);
    s.set(0, "Drag", 0.88f);
    s.set(0, "Mix", 0.5f);
    s.sweep(0, 8, "CutOff", 0.15f, 0.75f, easeIn);
    s.note(0.0, 1.0, D3, 100);
    s.note(1.0, 0.5, F3, 90);
    s.note(1.5, 0.5, A3, 95);
    s.note(2.0, 1.0, C4, 105);
    s.note(3.0, 1.0, A3, 90);
    s.note(4.0, 0.5, G3, 100);
    s.note(4.5, 0.5, A3, 90);
    s.note(5.0, 1.0, F3, 95);
    s.note(6.0, 0.5, E3, 90);
    s.note(6.5, 0.5, Db3, 85);
    s.note(7.0, 1.0, D3, 110);

    // Bars 3-4: square against sine, quick glides, detached arpeggios an
    // octave up while Mix slides the switch point across the cycle.
    s.set(8, "Wave1", kSquare);
    s.set(8, "Wave2", kSine);
    s.set(8, "Drag", 0.6f);
    s.set(8, "Q", 0.35f);
    s.set(8, "R", 0.35f);
    s.set(8, "CutOff", 0.55f);
    s.sweep(8, 12, "Mix", 0.1f, 0.9f, linear);
    s.sweep(12, 16, "Mix", 0.9f, 0.5f, easeOut);
    const uint8_t arpeggio[] = {D4, A4, F4, A4, D5, A4, F4, A4, Bb3, F4, D4, F4, Bb4, F4, D4, C4};
    for (int i = 0; i < 16; ++i) s.note(8.0 + 0.5 * i, 0.4, arpeggio[i], uint8_t(i % 4 == 0 ? 112 : 92));

    // Bars 5-6: saw against triangle, slow glides, a bend up and back, then
    // a long low note with vibrato under a closing filter and its release.
    s.set(16, "Wave1", kSaw);
    s.set(16, "Wave2", kTriangle);
    s.set(16, "Mix", 0.35f);
    s.set(16, "Drag", 0.93f);
    s.set(16, "A", 0.3f);
    s.set(16, "Q", 0.7f);
    s.set(16, "Env", 0.4f);
    s.set(16, "R", 0.85f);
    s.set(16, "CutOff", 0.7f);
    s.note(16.0, 2.0, A3, 100);
    s.bend(17.0, 17.5, [](double x) { return easeOut(x); });
    s.bend(17.5, 18.0, [](double x) { return 1.0 - easeIn(x); });
    s.note(18.0, 1.0, G3, 95);
    s.note(19.0, 0.5, F3, 95);
    s.note(19.5, 0.5, E3, 90);
    s.note(20.0, 4.0, D3, 110);
    s.bend(21.0, 23.5, [](double x) { return 0.25 * x * std::sin(2 * M_PI * 5.0 * x * 2.5 * 0.625); });
    s.bend(23.5, 23.6, [](double) { return 0.0; });
    s.sweep(20, 24, "CutOff", 0.7f, 0.2f, easeOut);
    return s.finish(0.0);
}

}  // namespace orvo::render
