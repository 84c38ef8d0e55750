// Fuzz target: a byte string decoded into a session of host operations
// (events with arbitrary MIDI bytes, types, counts and offsets; parameter and
// program changes; sample-rate changes; renders of arbitrary block sizes).
// Whatever the sequence, every output sample must be finite and within the
// engine's output bound.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "FuzzHost.h"
#include "FuzzInput.h"
#include "Instrument.h"

namespace {
constexpr int kMaxEvents = 24;
constexpr int kMaxFrames = 4096;
using orvo::kOutputBound;

void checkBlock(const float* l, const float* r, int n) {
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(l[i]) || !std::isfinite(r[i]) || std::fabs(l[i]) > kOutputBound ||
            l[i] != r[i]) {
            std::fprintf(stderr, "bad output at %d: %g %g\n", i, l[i], r[i]);
            std::abort();
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<float> left(kMaxFrames), right(kMaxFrames);
    FuzzInput in(data, size);
    AEffect* e = newFuzzEffect();
    if (!e) return 0;
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);

    VstMidiEvent midi[kMaxEvents];
    VstEvents* list = reinterpret_cast<VstEvents*>(
        new char[sizeof(VstEvents) + kMaxEvents * sizeof(VstEvent*)]);

    for (int ops = 0; !in.empty() && ops < 256; ++ops) {
        switch (in.u8() % 9) {
            case 0: {  // an event list
                int n = in.u8() % (kMaxEvents + 1);
                VstEvent** slots = list->events;  // numEvents entries, not the declared two
                for (int i = 0; i < n; ++i) {
                    VstMidiEvent& m = midi[i];
                    std::memset(&m, 0, sizeof m);
                    uint8_t t = in.u8();
                    m.type = t < 220 ? kVstMidiType : t % 8;
                    m.byteSize = sizeof m;
                    uint8_t d = in.u8();
                    m.deltaFrames = d < 240 ? d * 17 : in.i32();
                    m.midiData[0] = static_cast<char>(in.u8());
                    m.midiData[1] = static_cast<char>(in.u8());
                    m.midiData[2] = static_cast<char>(in.u8());
                    slots[i] = reinterpret_cast<VstEvent*>(&m);
                }
                list->numEvents = n;
                e->dispatcher(e, effProcessEvents, 0, 0, list, 0.0f);
                break;
            }
            case 1: {
                int index = static_cast<int8_t>(in.u8()) % 16;
                e->setParameter(e, index, in.value());
                break;
            }
            case 2: e->dispatcher(e, effSetProgram, 0, static_cast<int8_t>(in.u8()), nullptr, 0.0f); break;
            case 3: {
                uint8_t k = in.u8();
                float rate = k < 128 ? 8000.0f + k * 1500.0f : in.rawFloat();
                e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, rate);
                break;
            }
            case 4: {
                uint8_t k = in.u8();
                float rate = k < 128 ? 8000.0f + k * 1500.0f : in.rawFloat();
                e->dispatcher(e, effSetBlockSizeAndSampleRate, 0, in.u16(), nullptr, rate);
                break;
            }
            case 5:
            case 6: {
                int frames = static_cast<int16_t>(in.u16()) % (kMaxFrames + 1);
                if (frames < 0) frames = -frames;  // negative counts are exercised below
                float* outs[2] = {left.data(), right.data()};
                std::fill(left.begin(), left.begin() + frames, 0.0f);
                std::fill(right.begin(), right.begin() + frames, 0.0f);
                e->processReplacing(e, nullptr, outs, -frames);
                if (in.u8() & 1)
                    e->processReplacing(e, nullptr, outs, frames);
                else
                    e->process(e, nullptr, outs, frames);
                checkBlock(left.data(), right.data(), frames);
                break;
            }
            case 7: e->dispatcher(e, effCopyProgram, static_cast<int8_t>(in.u8()), 0, nullptr, 0.0f); break;
            case 8: {
                char name[64];
                int len = in.u8() % 63;
                for (int i = 0; i < len; ++i) name[i] = static_cast<char>(in.u8() | 1);
                name[len] = '\0';
                e->dispatcher(e, effSetProgramName, 0, 0, name, 0.0f);
                char back[kVstMaxProgNameLen + 8];
                std::memset(back, 0x55, sizeof back);
                e->dispatcher(e, effGetProgramName, 0, 0, back, 0.0f);
                for (size_t i = kVstMaxProgNameLen; i < sizeof back; ++i)
                    if (back[i] != 0x55) std::abort();  // wrote past the program-name field
                break;
            }
        }
    }
    delete[] reinterpret_cast<char*>(list);
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
    closeFuzzEffect(e);
    return 0;
}
