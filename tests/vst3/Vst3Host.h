// A small VST 3 host for the tests: loads a bundle's module, makes the one
// plug-in through its factory, and drives it with note lists, parameter
// queues and stereo blocks. Plain C++ with the interface headers, so it
// builds for Linux and Windows.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/edit_controller.h>
#include <travesty/factory.h>
#include <travesty/view.h>

#include "timed.h"

namespace orvo::test {

// The module inside `bundle` (OrvoSwitch.vst3), loaded once and never
// unloaded; its factory, or null.
v3_plugin_factory_2** loadVst3(const char* bundle, const char* arch);
// The VST 2 entry point of a plug-in library, for the reference render.
orvo::timed::EntryPoint loadVst2(const char* path);

// What the plug-in reads in one process call.
struct EventList {
    const void* table;
    std::vector<v3_event> events;
    EventList();
    void note(int32_t frame, bool on, int16_t channel, int16_t pitch, float velocity);
};

struct ParamQueue {
    const void* table;
    v3_param_id id;
    std::vector<std::pair<int32_t, double>> points;
};

struct ParamChanges {
    const void* table;
    std::vector<ParamQueue> queues;
    ParamChanges();
    void add(v3_param_id id, int32_t frame, double value);
};

// A byte stream, read back at most `chunk` bytes a call, as a host's
// chunked stream may.
struct Stream {
    const void* table;
    std::vector<uint8_t> bytes;
    size_t at = 0, chunk = 5;
    Stream();
};

// The host's window frame for an editor view, with its run loop when
// `withLoop`; the view's timers run when the test says.
struct Frame {
    const void* table;
    struct Loop {
        const void* table;
        std::vector<v3_timer_handler**> timers;
    } loop;
    bool withLoop = true;
    v3_view_rect asked{};  // the last size the view asked for
    explicit Frame(bool withLoop = true);
    v3_plugin_frame** frame() { return reinterpret_cast<v3_plugin_frame**>(this); }
    void tick();
};

// The component handler, keeping the edits and restarts as a readable
// trace: "begin value 0.600 end restart 4 ".
struct Handler {
    const void* table;
    std::string trace;
    Handler();
    v3_component_handler** handler() { return reinterpret_cast<v3_component_handler**>(this); }
};

class Plugin {
public:
    explicit Plugin(v3_plugin_factory_2** factory);
    ~Plugin();
    v3_component** component = nullptr;
    v3_audio_processor** processor = nullptr;
    v3_edit_controller** controller = nullptr;

    // setupProcessing at `rate`, then activation and processing on.
    bool start(double rate, int32_t maxBlock = 4096);
    // One block; the output lands in left/right (resized).
    v3_result process(int32_t frames, EventList& events, ParamChanges& params);
    std::vector<float> left, right;
    uint64_t silenceFlags = 0;

    // The component's state, and the controller's in `controllerState`
    // when given, restored in the order hosts restore them.
    bool save(Stream& s, Stream* controllerState = nullptr);
    bool load(Stream& s, Stream* controllerState = nullptr);
    v3_result setValue(v3_param_id id, double v);
    double value(v3_param_id id);
    std::string text(v3_param_id id, double v);
    bool fromText(v3_param_id id, const char* text, double* v);

private:
    bool started_ = false;
};

// The timed session as VST 3 notes and parameter points, in blocks of
// `block` frames at `rate`; the hash of what came out.
uint64_t vst3SessionHash(v3_plugin_factory_2** factory, uint32_t block, double rate);

uint32_t bitsOf(float f);

}  // namespace orvo::test
