// Hosts render on one thread while their UI and automation threads change
// everything else. Run under ThreadSanitizer (the tsan preset), these tests
// prove the instrument shares its state without data races and without locks;
// in every build they prove the output stays finite meanwhile.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "DAEffectX.h"
#include "PluginFactory.h"

namespace {

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

AEffect* newEffect() { return createEffectInstance(host)->getEffectRecord(); }

struct Renderer {
    AEffect* e;
    std::atomic<bool>& stop;
    bool finite = true;
    long blocks = 0;

    void operator()() {
        std::vector<float> l(256), r(256);
        float* outs[2] = {l.data(), r.data()};
        VstMidiEvent ev{};
        ev.type = kVstMidiType;
        ev.byteSize = sizeof ev;
        VstEvents list{};
        list.numEvents = 1;
        list.events[0] = reinterpret_cast<VstEvent*>(&ev);
        for (int n = 0; !stop.load(std::memory_order_relaxed) || n < 8; ++n) {
            ev.deltaFrames = n % 200;
            ev.midiData[0] = static_cast<char>((n % 3 == 0) ? 0x80 : 0x90);
            ev.midiData[1] = static_cast<char>(40 + n % 40);
            ev.midiData[2] = 100;
            e->dispatcher(e, effProcessEvents, 0, 0, &list, 0.0f);
            if (n & 1)
                e->processReplacing(e, nullptr, outs, 256);
            else
                e->process(e, nullptr, outs, 256);
            for (float x : l) finite = finite && std::isfinite(x);
            ++blocks;
        }
    }
};

TEST(threads, AutomationProgramsAndDisplayWhileRendering) {
    AEffect* e = newEffect();
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    std::atomic<bool> stop{false};
    Renderer renderer{e, stop};
    std::thread audio(std::ref(renderer));

    std::thread automation([&] {
        for (int i = 0; i < 4000; ++i) e->setParameter(e, i % 12, static_cast<float>(i % 101) / 100.0f);
    });
    std::thread programs([&] {
        char name[kVstMaxProgNameLen];
        for (int i = 0; i < 600; ++i) {
            e->dispatcher(e, effSetProgram, 0, i % 32, nullptr, 0.0f);
            e->dispatcher(e, effCopyProgram, (i * 7) % 32, 0, nullptr, 0.0f);
            std::snprintf(name, sizeof name, "take %d", i);
            e->dispatcher(e, effSetProgramName, 0, 0, name, 0.0f);
            e->dispatcher(e, effGetProgramNameIndexed, i % 32, 0, name, 0.0f);
        }
    });
    std::thread display([&] {
        char text[kVstMaxParamStrLen];
        for (int i = 0; i < 4000; ++i) {
            e->dispatcher(e, effGetParamDisplay, i % 12, 0, text, 0.0f);
            (void)e->getParameter(e, i % 12);
        }
    });
    std::thread rates([&] {
        for (int i = 0; i < 200; ++i) e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, i % 2 ? 44100.0f : 48000.0f);
    });
    automation.join();
    programs.join();
    display.join();
    rates.join();
    stop = true;
    audio.join();
    EXPECT_TRUE(renderer.finite);
    EXPECT_GT(renderer.blocks, 0);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

TEST(threads, InstancesComeAndGoWhileOthersRender) {
    // Each construction must leave the shared tables alone while another
    // instance's audio thread reads them.
    std::atomic<bool> stop{false};
    AEffect* a = newEffect();
    AEffect* b = newEffect();
    Renderer ra{a, stop}, rb{b, stop};
    std::thread ta(std::ref(ra)), tb(std::ref(rb));
    std::vector<std::thread> makers;
    for (int t = 0; t < 3; ++t) {
        makers.emplace_back([] {
            for (int i = 0; i < 30; ++i) {
                AEffect* e = newEffect();
                std::vector<float> l(64), r(64);
                float* outs[2] = {l.data(), r.data()};
                e->processReplacing(e, nullptr, outs, 64);
                e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
            }
        });
    }
    for (auto& m : makers) m.join();
    stop = true;
    ta.join();
    tb.join();
    EXPECT_TRUE(ra.finite && rb.finite);
    a->dispatcher(a, effClose, 0, 0, nullptr, 0.0f);
    b->dispatcher(b, effClose, 0, 0, nullptr, 0.0f);
}

}  // namespace
