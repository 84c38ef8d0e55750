// What the benchmark programs share: an engine driven the way every front
// end drives it (parameters as index and value, MIDI as bytes with a frame
// offset, blocks of two float outputs), and the playing situations the frame
// cost is measured in. Only the engine library is linked: what is measured
// is the instrument, not a plug-in format's boundary.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "Instrument.h"

namespace orvobench {

struct MidiEvent {
    uint8_t status, data1, data2;
    int32_t deltaFrames;
};

inline MidiEvent midiEvent(uint8_t status, uint8_t d1, uint8_t d2, int32_t delta = 0) {
    return {status, d1, d2, delta};
}

constexpr float kRate = 44100.0f;

// An engine at 44.1 kHz with the default parameters.
class Instance {
public:
    Instance() { engine_.setRate(kRate); }

    orvo::Instrument& engine() { return engine_; }
    orvo::VoiceBank& bank() { return engine_.engineForTest().voicesForTest(); }

    void send(std::initializer_list<MidiEvent> events) {
        for (const MidiEvent& m : events) engine_.midi(m.status, m.data1, m.data2, m.deltaFrames);
    }
    void param(int index, float value) { engine_.setValue(index, value); }
    void render(float* left, float* right, int frames, bool replacing) {
        if (replacing)
            engine_.renderReplacing(left, right, frames);
        else
            engine_.render(left, right, frames);
    }
    void run(int frames) {
        std::vector<float> l(frames), r(frames);
        render(l.data(), r.data(), frames, true);
    }

private:
    orvo::Instrument engine_;
};

// The playing situations. Each is held steady for as long as a benchmark
// runs by `keep`, which rewinds whichever counter would end it; that costs
// a few compares per block, outside the engine.
enum Situation {
    kSilent = 0,        // no voice sounding
    kOneSustain,        // one held note
    kOneAttack,         // one note in its attack
    kTwoSustain,        // two held notes
    kTwoChange,         // the old note releasing while the new one attacks and glides
    kTwoRelease,        // the old note releasing while the new one is held (sustain) and glides
    kSituationCount
};

inline const char* situationName(int s) {
    static const char* const names[] = {"silent",     "1v_sustain",          "1v_attack", "2v_sustain",
                                        "2v_release+attack+glide", "2v_release+sustain+glide"};
    return names[s];
}

inline int situationVoices(int s) { return s == kSilent ? 0 : s <= kOneAttack ? 1 : 2; }

inline void setUp(Instance& in, int s) {
    in.param(orvo::kParamAttack, s == kOneAttack || s == kTwoChange ? 1.0f : 0.02f);
    in.param(orvo::kParamRelease, 1.0f);
    in.param(orvo::kParamDrag, s == kSilent ? 0.5f : 1.0f);  // 1: the slowest glide
    in.param(orvo::kParamQ, 0.6f);
    in.param(orvo::kParamWave1, 1.0f / 3.0f);
    in.param(orvo::kParamWave2, 1.0f);
    if (s == kSilent) {
        in.send({midiEvent(0x90, 57, 100)});
        in.run(3000);
        in.send({midiEvent(0xB0, 126, 0)});  // all voices off: silence with a settled glide
        in.run(44100);
        return;
    }
    in.send({midiEvent(0x90, 57, 100)});
    in.run(s == kOneAttack ? 64 : 4000);
    if (s <= kOneAttack) return;
    in.send({midiEvent(0x90, 64, 110)});
    in.run(s == kTwoChange ? 64 : 4000);  // kTwoRelease: the new note reaches S, the old one keeps releasing
    if (s == kTwoSustain) {
        // The second note released the first; hold it again.
        orvo::EnvelopeState& first = in.bank().voice[1].env;
        first.stage = orvo::kStageSustain;
        first.releaseCountdown = orvo::kNoReleasePending;
        in.run(64);
    }
}

// Rewinds the counters that would end the situation, once per block.
struct Keeper {
    int situation;
    float glideStart = 0.0f;
    void operator()(Instance& in) {
        orvo::VoiceBank& b = in.bank();
        if (situation == kOneAttack || situation == kTwoChange) {
            orvo::EnvelopeState& held = b.voice[b.nextVoice].env;
            if (held.attackCount > 20000) held.attackCount = 1;
        }
        if (situation == kTwoChange || situation == kTwoRelease) {
            orvo::EnvelopeState& old = b.voice[b.nextVoice ^ 1].env;
            if (old.releaseCount > 40000) old.releaseCount = situation == kTwoChange ? 1 : 4000;
            if (glideStart == 0.0f) glideStart = b.voice[b.nextVoice ^ 1].increment;
            const float target = b.voice[b.nextVoice].increment;
            if (b.glideIncrement > target - 0.5f * (target - glideStart)) b.glideIncrement = glideStart;
        }
    }
};

}  // namespace orvobench
