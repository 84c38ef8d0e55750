// Parameter automation and queries from other threads while the audio thread
// renders. The assertions are modest; the point is to run it under TSan.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "uVSTXSynth.h"

namespace {

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

TEST(EngineThreads, AutomationWhileRendering) {
    AVstXSynth fx(host);
    AEffect* rec = fx.getEffectRecord();
    std::atomic<bool> stop{false};

    std::thread automation([&] {
        for (int i = 0; !stop.load(std::memory_order_relaxed); ++i) {
            const VstInt32 index = i % 12;
            rec->setParameter(rec, index, static_cast<float>(i % 101) / 100.0f);
            if (i % 500 == 0) rec->dispatcher(rec, effSetSampleRate, 0, 0, nullptr, i % 1000 ? 48000.0f : 44100.0f);
        }
    });
    std::thread viewer([&] {
        char text[16];
        while (!stop.load(std::memory_order_relaxed)) {
            for (VstInt32 index = 0; index < 12; ++index) {
                (void)rec->getParameter(rec, index);
                rec->dispatcher(rec, effGetParamDisplay, index, 0, text, 0.0f);
            }
        }
    });

    std::vector<float> left(256), right(256);
    float* out[2] = {left.data(), right.data()};
    VstMidiEvent note{};
    note.type = kVstMidiType;
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[2];
    } list{1, 0, {reinterpret_cast<VstEvent*>(&note), nullptr}};
    bool finite = true;
    for (int block = 0; block < 800; ++block) {
        if (block % 20 == 0) {
            note.midiData[0] = static_cast<char>(0x90);
            note.midiData[1] = static_cast<char>(40 + block % 40);
            note.midiData[2] = 100;
            note.deltaFrames = block % 256;
            rec->dispatcher(rec, effProcessEvents, 0, 0, &list, 0.0f);
        }
        rec->processReplacing(rec, nullptr, out, 256);
        for (float s : left) finite &= std::isfinite(s);
    }
    stop.store(true);
    automation.join();
    viewer.join();
    EXPECT_TRUE(finite);
}

}  // namespace
