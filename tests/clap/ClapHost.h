// A small CLAP host for the tests: loads a .clap through clap_entry, makes
// the one plug-in, and drives it with event lists and stereo blocks. Plain
// C++ with the CLAP headers, so it builds for Linux and both Windows widths.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <clap/entry.h>
#include <clap/events.h>
#include <clap/ext/gui.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/thread-check.h>
#include <clap/ext/timer-support.h>
#include <clap/plugin-factory.h>

#include "PresetApi.h"
#include "timed.h"

namespace orvo::test {

union AnyEvent {
    clap_event_header_t header;
    clap_event_note_t note;
    clap_event_midi_t midi;
    clap_event_param_value_t param;
    clap_event_param_gesture_t gesture;
};

AnyEvent noteEvent(uint32_t time, uint16_t type, int16_t channel, int16_t key, double velocity);
AnyEvent midiEvent(uint32_t time, const uint8_t bytes[3]);
AnyEvent paramEvent(uint32_t time, uint32_t id, double value);

// What the plug-in reads in one process call.
struct InEvents {
    std::vector<AnyEvent> list;
    clap_input_events_t api{this, size, get};
    static uint32_t CLAP_ABI size(const clap_input_events_t* l);
    static const clap_event_header_t* CLAP_ABI get(const clap_input_events_t* l, uint32_t i);
};

// What it sends back.
struct OutEvents {
    std::vector<AnyEvent> list;
    clap_output_events_t api{this, push};
    static bool CLAP_ABI push(const clap_output_events_t* l, const clap_event_header_t* e);
};

// The library: loaded once per process and never unloaded (the plug-in
// carries a static runtime of its own).
const clap_plugin_entry_t* loadClap(const char* path);
// The VST 2 entry point of a plug-in library, for the reference render.
orvo::timed::EntryPoint loadVst2(const char* path);

class Host {
public:
    explicit Host(const clap_plugin_entry_t* entry, bool offerTimer = true);
    ~Host();
    const clap_plugin_t* plugin = nullptr;
    const clap_plugin_params_t* params = nullptr;
    const clap_plugin_state_t* state = nullptr;
    const clap_plugin_gui_t* gui = nullptr;
    const clap_plugin_timer_support_t* timer = nullptr;
    const orvo::clap::presets::PluginPresetLoad* presetLoad = nullptr;

    bool activate(double rate, uint32_t maxFrames = 4096);
    // One block of `frames` with `in`; the output lands in left/right (resized).
    clap_process_status process(uint32_t frames, InEvents& in, OutEvents* out = nullptr);
    std::vector<float> left, right;

    // What the host offers; the timer is registered, not run by itself.
    bool offerTimer;
    std::vector<std::pair<clap_id, uint32_t>> timers;  // id, period
    int flushRequests = 0, rescans = 0, dirty = 0;
    std::vector<std::string> presetErrors;  // what preset-load reported
    std::vector<std::string> presetsLoaded;  // location or load key
    void tickTimers();

private:
    clap_host_t host_{};
    static const void* CLAP_ABI extension(const clap_host_t* h, const char* id);
    static Host& of(const clap_host_t* h) { return *static_cast<Host*>(h->host_data); }
    clap_id nextTimer_ = 7;
    bool active_ = false;
};

// The timed session as CLAP events, in blocks of `block` frames with each
// event inside its block at its frame; the hash of what came out.
uint64_t clapSessionHash(const clap_plugin_entry_t* entry, uint32_t block, double rate = orvo::timed::kRate);

// A short phrase of two notes, rendered in blocks of 512: the hash of what
// came out.
uint64_t phraseHash(Host& host);
// Parameter values as a host sets them outside processing (params.flush).
void setValues(Host& host, const std::vector<std::pair<uint32_t, double>>& values);

// The editor embedded in `parent` as a host opens it: create, set_parent,
// show; false at the first step that fails.
bool openEditor(Host& host, const clap_window_t& parent);

// What one block of 64 frames sends back for parameter `id`, as a readable
// trace: "begin value 0.600 end ".
std::string gestureTrace(Host& host, uint32_t id);

// Unsigned bits of a float, for exact comparisons in messages.
uint32_t bitsOf(float f);

}  // namespace orvo::test
