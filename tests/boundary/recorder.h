// A fake host that records every call the effect makes, and small effects and
// editors that count their construction and destruction and log each
// overridable operation the dispatcher reaches.
#pragma once

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "DAudioEffectX.h"

struct HostCall {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

// The host callback is a bare function pointer, so the recorder in use is a
// global that each test installs for its own lifetime.
class RecordingHost {
public:
    RecordingHost() { current = this; }
    ~RecordingHost() { current = nullptr; }
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    static VstIntPtr VSTCALLBACK callback(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                          float opt) {
        RecordingHost* self = current;
        if (!self) return 0;
        self->calls.push_back({e, opcode, index, value, ptr, opt});
        auto it = self->answers.find(opcode);
        return it == self->answers.end() ? 0 : it->second;
    }

    std::vector<HostCall> calls;
    std::map<VstInt32, VstIntPtr> answers;  // per opcode; 0 where absent

private:
    static inline RecordingHost* current = nullptr;
};

// Live-object counters shared by the test effects and editors.
struct Lifetimes {
    static inline int effects = 0;
    static inline int editors = 0;
    static inline int closes = 0;
};

// Joins the arguments of one logged operation: log("setProgram", 5) -> "setProgram 5".
class CallLog {
public:
    template <typename... Args>
    void operator()(const char* name, const Args&... args) {
        std::ostringstream out;
        out << name;
        ((out << ' ' << args), ...);
        entries.push_back(out.str());
    }
    std::string joined() const {
        std::string s;
        for (const auto& e : entries) s += (s.empty() ? "" : "; ") + e;
        return s;
    }
    void clear() { entries.clear(); }
    std::vector<std::string> entries;
};

// The plainest effect: every default of the base classes.
class BareEffect : public AudioEffectX {
public:
    explicit BareEffect(audioMasterCallback host = nullptr, VstInt32 programs = 32, VstInt32 params = 12)
        : AudioEffectX(host, programs, params) {
        ++Lifetimes::effects;
    }
    ~BareEffect() override { --Lifetimes::effects; }
    void process(float**, float**, VstInt32) override {}
    void close() override { ++Lifetimes::closes; }

    using AudioEffect::blockSize;
    using AudioEffect::curProgram;
    using AudioEffect::sampleRate;
};

// An editor that logs what reaches it; without overrides of its own it keeps
// the base answers for everything the dispatcher does not route to it.
class LoggingEditor : public AEffEditorX {
public:
    explicit LoggingEditor(AudioEffect* fx, CallLog& log) : AEffEditorX(fx), log(log) { ++Lifetimes::editors; }
    ~LoggingEditor() override { --Lifetimes::editors; }

    VstInt32 getRect(ERect** r) override {
        seenRect = *r;
        *r = &rect;
        log("getRect");
        return 7;
    }
    VstInt32 open(void* p) override {
        AEffEditorX::open(p);
        log("open");
        return 5;
    }
    void close() override { log("close"); }
    void idle() override {
        log("idle");
        AEffEditorX::idle();
    }
    void update() override { log("update"); }
    VstInt32 onKeyDown(VstKeyCode& k) override {
        key = k;
        log("onKeyDown");
        return AEffEditorX::onKeyDown(k);
    }
    VstInt32 onKeyUp(VstKeyCode& k) override {
        key = k;
        log("onKeyUp");
        return 12;
    }
    VstInt32 setKnobMode(VstInt32 v) override {
        log("setKnobMode", v);
        return 3;
    }

    ERect rect{0, 0, 281, 465};
    ERect* seenRect = nullptr;
    VstKeyCode key{};
    CallLog& log;
};

// An editor that overrides only what counts lifetimes.
class PlainEditor : public AEffEditorX {
public:
    explicit PlainEditor(AudioEffect* fx) : AEffEditorX(fx) { ++Lifetimes::editors; }
    ~PlainEditor() override { --Lifetimes::editors; }
};

// Dispatches through the record, as a host does.
inline VstIntPtr send(AudioEffect& fx, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                      void* ptr = nullptr, float opt = 0.0f) {
    AEffect* e = fx.getEffectRecord();
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}
