#include "session.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;
constexpr int kHostVersion = 2400;

constexpr int kMaxBlock = 1031;
constexpr int kMaxEvents = 12;
// At least ten seconds at 44.1 kHz, whatever rates the script switches to.
constexpr uint64_t kSessionFrames = 12ull * 44100ull;

struct Fnv {
    uint64_t h = kFnvOffset;
    void addByte(uint8_t b) {
        h ^= b;
        h *= kFnvPrime;
    }
    void addFloat(float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        for (int i = 0; i < 4; ++i) addByte(static_cast<uint8_t>(bits >> (8 * i)));
    }
};

// Small fixed generator so every build sees the same script.
struct Script {
    uint32_t state = 0x2545F491u;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }
};

VstIntPtr VSTCALLBACK sessionHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? kHostVersion : 0;
}

// Same layout as VstEvents, with room for the events of one block.
struct EventList {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[kMaxEvents];
};

struct Session {
    AEffect* fx;
    Script script;
    Fnv fnv;
    float left[kMaxBlock];
    float right[kMaxBlock];
    VstMidiEvent midi[kMaxEvents];
    VstMidiSysexEvent sysex;
    char sysexBytes[6] = {static_cast<char>(0xF0), 0x7D, 0x01, 0x02, 0x03, static_cast<char>(0xF7)};
    EventList list;

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return fx->dispatcher(fx, opcode, index, value, ptr, opt);
    }

    void addMidi(int delta, uint8_t status, uint8_t d1, uint8_t d2) {
        if (list.numEvents >= kMaxEvents) return;
        VstMidiEvent& m = midi[list.numEvents];
        std::memset(&m, 0, sizeof m);
        m.type = kVstMidiType;
        m.byteSize = sizeof m;
        m.deltaFrames = delta;
        m.midiData[0] = static_cast<char>(status);
        m.midiData[1] = static_cast<char>(d1);
        m.midiData[2] = static_cast<char>(d2);
        m.noteOffVelocity = static_cast<char>(d2 & 0x7F);
        list.events[list.numEvents++] = reinterpret_cast<VstEvent*>(&m);
    }

    void addSysex(int delta) {
        if (list.numEvents >= kMaxEvents) return;
        std::memset(&sysex, 0, sizeof sysex);
        sysex.type = kVstSysExType;
        sysex.byteSize = sizeof sysex;
        sysex.deltaFrames = delta;
        sysex.dumpBytes = sizeof sysexBytes;
        sysex.sysexDump = sysexBytes;
        list.events[list.numEvents++] = reinterpret_cast<VstEvent*>(&sysex);
    }

    // A mix of what a sequencer sends: notes on every channel, chords,
    // zero-velocity note-ons, bends, the all-off controller, other
    // controllers, and events the instrument must skip.
    void buildEvents(int block) {
        list.numEvents = 0;
        list.reserved = 0;
        const int count = script.chance(55) ? script.below(5) : 0;
        for (int i = 0; i < count; ++i) {
            const int delta = script.chance(8) ? block + script.below(300) : script.below(block);
            const uint8_t channel = static_cast<uint8_t>(script.below(16));
            const uint8_t note = static_cast<uint8_t>(24 + script.below(80));
            const int kind = script.below(100);
            if (kind < 40) {
                addMidi(delta, 0x90 | channel, note, static_cast<uint8_t>(1 + script.below(127)));
                if (script.chance(20))  // a chord: same offset
                    addMidi(delta, 0x90 | channel, static_cast<uint8_t>(note + 4), 100);
            } else if (kind < 55) {
                addMidi(delta, 0x80 | channel, note, static_cast<uint8_t>(script.below(128)));
            } else if (kind < 65) {
                addMidi(delta, 0x90 | channel, note, 0);
            } else if (kind < 80) {
                // Drawn one statement at a time: as two arguments of one call
                // their order would be the compiler's, and GCC draws them in
                // opposite orders on x86 and ARM. The pinned hash has the
                // coarse byte drawn first.
                const auto coarse = static_cast<uint8_t>(script.below(128));
                const auto fine = static_cast<uint8_t>(script.below(128));
                addMidi(delta, 0xE0 | channel, fine, coarse);
            } else if (kind < 83) {
                addMidi(delta, 0xB0 | channel, 126, static_cast<uint8_t>(script.below(128)));
            } else if (kind < 88) {
                addMidi(delta, 0xB0 | channel, static_cast<uint8_t>(script.below(126)), 64);
            } else if (kind < 92) {
                addMidi(delta, 0xC0 | channel, static_cast<uint8_t>(script.below(128)), 0);
            } else if (kind < 96) {
                addSysex(delta);
            } else {
                addMidi(-1 - script.below(50), 0x90 | channel, note, 90);  // late event
            }
        }
    }

    void automate() {
        const int index = script.below(12);
        // Mostly in range; sometimes a little outside, where the wave and
        // filter selections take their fallback paths.
        float value = static_cast<float>(script.below(1001)) / 1000.0f;
        if (script.chance(10)) value = static_cast<float>(script.below(1601)) / 1000.0f - 0.3f;
        fx->setParameter(fx, index, value);
    }

    void hostRequests() {
        const int kind = script.below(100);
        if (kind < 30) {
            dispatch(effSetProgram, 0, script.below(32));
        } else if (kind < 40) {
            dispatch(effCopyProgram, script.below(32));
        } else if (kind < 50) {
            char name[24] = "session";
            name[7] = static_cast<char>('A' + script.below(26));
            dispatch(effSetProgramName, 0, 0, name);
        } else if (kind < 60) {
            char text[64];
            dispatch(effGetParamDisplay, script.below(12), 0, text);
            dispatch(effGetProgramNameIndexed, script.below(32), 0, text);
        } else if (kind < 65) {
            dispatch(effMainsChanged, 0, 0);
            dispatch(effMainsChanged, 0, 1);
        } else {
            automate();
        }
    }

    void changeRate(uint64_t done) {
        static const float kRates[] = {48000.0f, 22050.0f, 96000.0f, 32000.0f, 44100.0f, 88200.0f};
        const float rate = kRates[(done / 44100) % (sizeof kRates / sizeof kRates[0])];
        if (script.chance(50))
            dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        else  // the combined request leaves the pitch step where it was
            dispatch(effSetBlockSizeAndSampleRate, 0, kMaxBlock, nullptr, rate);
        if (script.chance(50)) dispatch(effSetProgram, 0, dispatch(effGetProgram));
    }

    void hashBlock(int frames) {
        for (int i = 0; i < frames; ++i) {
            fnv.addFloat(left[i]);
            fnv.addFloat(right[i]);
        }
    }

    uint64_t run() {
        dispatch(effOpen);
        dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        dispatch(effSetBlockSize, 0, kMaxBlock);
        dispatch(effMainsChanged, 0, 1);

        static const int kBlocks[] = {1, 7, 33, 64, 127, 128, 255, 333, 512, 1000, 1031};
        uint64_t done = 0;
        uint64_t nextRateChange = 3 * 44100;
        while (done < kSessionFrames) {
            const int block = kBlocks[script.below(sizeof kBlocks / sizeof kBlocks[0])];
            buildEvents(block);
            if (list.numEvents > 0 || script.chance(5))
                dispatch(effProcessEvents, 0, 0, &list);
            if (script.chance(6)) hostRequests();
            float* outputs[2] = {left, right};
            if (script.chance(30)) {
                // The accumulating call adds to what the buffers hold.
                for (int i = 0; i < block; ++i) {
                    left[i] = static_cast<float>(i % 7) * 0.125f;
                    right[i] = -left[i];
                }
                fx->process(fx, nullptr, outputs, block);
            } else {
                fx->processReplacing(fx, nullptr, outputs, block);
            }
            hashBlock(block);
            done += static_cast<uint64_t>(block);
            if (done >= nextRateChange) {
                changeRate(done);
                nextRateChange += 2 * 44100 + static_cast<uint64_t>(script.below(44100));
            }
        }
        dispatch(effMainsChanged, 0, 0);
        dispatch(effClose);
        return fnv.h;
    }
};

}  // namespace

uint64_t orvoScriptedSessionHash(OrvoEntryPoint entry) {
    if (!entry) return 0;
    AEffect* fx = entry(sessionHost);
    if (!fx) return 0;
    Session session{};
    session.fx = fx;
    return session.run();
}

uint64_t orvoScriptedSessionFrames() { return kSessionFrames; }

void orvoFormatSessionHash(uint64_t hash, char out[17]) {
    static const char kHex[] = "0123456789abcdef";
    for (int i = 0; i < 16; ++i) out[i] = kHex[(hash >> (60 - 4 * i)) & 0xF];
    out[16] = '\0';
}

void orvoPrintSessionHash(uint64_t hash) {
    char text[17];
    orvoFormatSessionHash(hash, text);
    std::printf("%s\n", text);
    std::fflush(stdout);
}
