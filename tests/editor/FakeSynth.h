// A stand-in synthesizer with twelve plain parameters and a host callback
// that records audioMasterAutomate, so the editor can be tested without the
// engine.
#pragma once

#include <array>
#include <vector>

#include "DAEffectX.h"
#include "DAudioEffect.h"

namespace orvo::test {

struct Automation {
    int index;
    float value;
    bool operator==(const Automation&) const = default;
};

class FakeSynth : public AudioEffect {
public:
    FakeSynth() : AudioEffect(&hostCallback, 1, 12) {
        values = {0.1f, 0.1f, 0.5f, 0.1f, 0.5f, 0.0f, 0.0f, 0.5f, 0.0f, 0.0f, 0.5f, 0.5f};
        current() = this;
    }
    ~FakeSynth() override { current() = nullptr; }

    void setParameter(VstInt32 index, float value) override {
        if (index >= 0 && index < 12) values[static_cast<std::size_t>(index)] = value;
    }
    float getParameter(VstInt32 index) override {
        ++reads;
        return index >= 0 && index < 12 ? values[static_cast<std::size_t>(index)] : 0.0f;
    }
    void process(float**, float**, VstInt32) override {}

    std::array<float, 12> values{};
    std::vector<Automation> automated;
    std::vector<std::array<int, 2>> resized;  // audioMasterSizeWindow: width, height
    int reads = 0;

private:
    static FakeSynth*& current() {
        static FakeSynth* instance = nullptr;
        return instance;
    }
    static VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*, float opt) {
        if (opcode == audioMasterAutomate && current()) current()->automated.push_back({index, opt});
        if (opcode == audioMasterSizeWindow && current())
            current()->resized.push_back({index, static_cast<int>(value)});
        return opcode == audioMasterVersion ? 2400 : 0;
    }
};

}  // namespace orvo::test
