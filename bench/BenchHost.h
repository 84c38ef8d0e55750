// What the benchmark programs share: a host callback, an instance driven
// through its effect record the way a host drives it, and the playing
// situations the frame cost is measured in.
#pragma once

#include <cstring>
#include <vector>

#include "DAEffectX.h"
#include "Engine.h"
#include "Params.h"
#include "PluginFactory.h"
#include "uVSTXSynth.h"

namespace orvobench {

inline VstIntPtr VSTCALLBACK benchHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Same layout as VstEvents, with room for a list of any length.
struct EventList {
    VstInt32 numEvents = 0;
    VstIntPtr reserved = 0;
    VstEvent* events[256];
};

inline VstMidiEvent midiEvent(uint8_t status, uint8_t d1, uint8_t d2, int32_t delta = 0) {
    VstMidiEvent m;
    std::memset(&m, 0, sizeof m);
    m.type = kVstMidiType;
    m.byteSize = sizeof m;
    m.deltaFrames = delta;
    m.midiData[0] = static_cast<char>(status);
    m.midiData[1] = static_cast<char>(d1);
    m.midiData[2] = static_cast<char>(d2);
    return m;
}

// An opened, resumed instance at 44.1 kHz.
class Instance {
public:
    Instance() : fx_(createEffectInstance(benchHost)), e_(fx_->getEffectRecord()) {
        e_->dispatcher(e_, effOpen, 0, 0, nullptr, 0.0f);
        e_->dispatcher(e_, effSetSampleRate, 0, 0, nullptr, 44100.0f);
        e_->dispatcher(e_, effSetBlockSize, 0, 4096, nullptr, 0.0f);
        e_->dispatcher(e_, effMainsChanged, 0, 1, nullptr, 0.0f);
    }
    ~Instance() {
        e_->dispatcher(e_, effMainsChanged, 0, 0, nullptr, 0.0f);
        e_->dispatcher(e_, effClose, 0, 0, nullptr, 0.0f);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    AEffect* effect() const { return e_; }
    orvo::Engine& engine() { return const_cast<orvo::Engine&>(static_cast<AVstXSynth*>(fx_)->engine()); }
    orvo::VoiceBank& bank() { return engine().voicesForTest(); }

    void send(std::initializer_list<VstMidiEvent> events) {
        std::vector<VstMidiEvent> copy(events);
        EventList list;
        for (VstMidiEvent& m : copy) list.events[list.numEvents++] = reinterpret_cast<VstEvent*>(&m);
        e_->dispatcher(e_, effProcessEvents, 0, 0, &list, 0.0f);
    }
    void param(int index, float value) { e_->setParameter(e_, index, value); }
    void render(float* left, float* right, int frames, bool replacing) {
        float* outs[2] = {left, right};
        if (replacing)
            e_->processReplacing(e_, nullptr, outs, frames);
        else
            e_->process(e_, nullptr, outs, frames);
    }
    void run(int frames) {
        std::vector<float> l(frames), r(frames);
        render(l.data(), r.data(), frames, true);
    }

private:
    AudioEffect* fx_;
    AEffect* e_;
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
