#include "timed.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace orvo::timed {
namespace {

struct Random {
    uint32_t state = 0x9E3779B9u;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    uint32_t below(uint32_t n) { return next() % n; }
    bool chance(uint32_t percent) { return below(100) < percent; }
};

Event midi(uint32_t frame, uint8_t status, uint8_t d1, uint8_t d2, bool noteForm = false) {
    return Event{frame, Event::kMidi, {status, d1, d2}, noteForm, 0, 0.0f};
}

Event param(uint32_t frame, int32_t index, float value) {
    return Event{frame, Event::kParam, {0, 0, 0}, false, index, value};
}

// A player's line with overlaps and chords, bends and automation, plus the
// odd value a host can send: out of range, NaN, infinite.
std::vector<Event> build() {
    Random r;
    std::vector<Event> list;
    uint32_t t = 0;
    while (t < kFrames - 4410) {
        const uint8_t channel = static_cast<uint8_t>(r.below(16));
        const uint8_t note = static_cast<uint8_t>(30 + r.below(70));
        const uint8_t velocity = static_cast<uint8_t>(1 + r.below(127));
        const uint32_t length = 200 + r.below(20000);
        const bool noteForm = r.chance(50);
        list.push_back(midi(t, 0x90 | channel, note, velocity, noteForm));
        if (r.chance(15)) list.push_back(midi(t, 0x90 | channel, static_cast<uint8_t>(note + 7), 90, noteForm));
        if (r.chance(85)) {
            // A zero-velocity note-on is a note-off only in MIDI form.
            list.push_back(r.chance(20) ? midi(t + length, 0x90 | channel, note, 0)
                                        : midi(t + length, 0x80 | channel, note, 64, noteForm));
        }
        if (r.chance(25)) {
            const uint32_t at = t + r.below(length + 1);
            const uint8_t lsb = static_cast<uint8_t>(r.below(128)), msb = static_cast<uint8_t>(r.below(128));
            list.push_back(midi(at, 0xE0 | channel, lsb, msb));
        }
        if (r.chance(4)) list.push_back(midi(t + r.below(length + 1), 0xB0 | channel, 126, 0));
        if (r.chance(30)) {
            // A sweep: one parameter every 32..287 frames for a while.
            const int32_t index = static_cast<int32_t>(r.below(12));
            const uint32_t step = 32 + r.below(256);
            float v = static_cast<float>(r.below(1001)) / 1000.0f;
            for (uint32_t k = 0, at = t + r.below(2000); k < 20; ++k, at += step) {
                list.push_back(param(at, index, v));
                v = std::clamp(v + (static_cast<float>(r.below(201)) - 100.0f) / 1000.0f, 0.0f, 1.0f);
            }
        }
        if (r.chance(20)) {
            const int32_t index = static_cast<int32_t>(r.below(12));
            float v = static_cast<float>(r.below(1001)) / 1000.0f;
            const uint32_t odd = r.below(100);
            if (odd < 10) v = static_cast<float>(r.below(1601)) / 1000.0f - 0.3f;
            else if (odd < 12) v = std::numeric_limits<float>::quiet_NaN();
            else if (odd < 13) v = std::numeric_limits<float>::infinity();
            list.push_back(param(t + r.below(length + 1), index, v));
        }
        t += r.chance(30) ? r.below(300) : 300 + r.below(12000);
    }
    std::stable_sort(list.begin(), list.end(), [](const Event& a, const Event& b) { return a.frame < b.frame; });
    while (!list.empty() && list.back().frame >= kFrames) list.pop_back();
    return list;
}

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

}  // namespace

const std::vector<Event>& session() {
    static const std::vector<Event> list = build();
    return list;
}

void Hash::add(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    for (int i = 0; i < 4; ++i) {
        h ^= static_cast<uint8_t>(bits >> (8 * i));
        h *= 1099511628211ull;
    }
}

void Hash::add(const float* left, const float* right, uint32_t frames) {
    for (uint32_t i = 0; i < frames; ++i) {
        add(left[i]);
        add(right[i]);
    }
}

uint64_t vst2Hash(EntryPoint entry, uint32_t maxBlock, double rate) {
    AEffect* fx = entry ? entry(host) : nullptr;
    if (!fx || maxBlock == 0) return 0;
    auto dispatch = [fx](VstInt32 op, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
        return fx->dispatcher(fx, op, index, value, ptr, opt);
    };
    dispatch(effOpen, 0, 0, nullptr, 0.0f);
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    dispatch(effSetProgram, 0, 0, nullptr, 0.0f);  // as a host restoring a session: the rate first
    dispatch(effSetBlockSize, 0, static_cast<VstIntPtr>(maxBlock), nullptr, 0.0f);
    dispatch(effMainsChanged, 0, 1, nullptr, 0.0f);
    std::vector<float> left(maxBlock), right(maxBlock);
    float* outputs[2] = {left.data(), right.data()};
    Hash hash;
    const std::vector<Event>& list = session();
    size_t next = 0;
    for (uint32_t done = 0; done < kFrames;) {
        for (; next < list.size() && list[next].frame == done; ++next) {
            const Event& e = list[next];
            if (e.kind == Event::kParam) {
                fx->setParameter(fx, e.index, e.value);
                continue;
            }
            VstMidiEvent m{};
            m.type = kVstMidiType;
            m.byteSize = sizeof m;
            std::memcpy(m.midiData, e.midi, 3);
            struct {
                VstInt32 numEvents;
                VstIntPtr reserved;
                VstEvent* events[1];
            } one{1, 0, {reinterpret_cast<VstEvent*>(&m)}};
            dispatch(effProcessEvents, 0, 0, &one, 0.0f);
        }
        uint32_t end = std::min(kFrames, done + maxBlock);
        if (next < list.size()) end = std::min(end, list[next].frame);
        fx->processReplacing(fx, nullptr, outputs, static_cast<VstInt32>(end - done));
        hash.add(left.data(), right.data(), end - done);
        done = end;
    }
    dispatch(effMainsChanged, 0, 0, nullptr, 0.0f);
    dispatch(effClose, 0, 0, nullptr, 0.0f);
    return hash.h;
}

void printHash(uint64_t hash) {
    static const char kHex[] = "0123456789abcdef";
    char text[17];
    for (int i = 0; i < 16; ++i) text[i] = kHex[(hash >> (60 - 4 * i)) & 0xF];
    text[16] = '\0';
    std::printf("%s\n", text);
    std::fflush(stdout);
}

}  // namespace orvo::timed
