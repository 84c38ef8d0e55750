// The instrument as a CLAP plug-in: the engine, the twelve parameters as
// CLAP parameters, one note port, one stereo output, a saved state and the
// editor. Only this folder sees CLAP's types; the engine stays host-free.
//
// Each entry point says which thread the host calls it on: main (the
// host's main thread, where the GUI lives too), audio, or any.
#pragma once

#include <atomic>
#include <memory>

#include <clap/events.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/thread-check.h>
#include <clap/ext/timer-support.h>
#include <clap/host.h>
#include <clap/plugin.h>

#include "Engine.h"
#include "UiEdits.h"

namespace orvo::clap {

extern const clap_plugin_descriptor_t kDescriptor;

// A CLAP value (double) as the float value the engine stores; beyond the
// float range it saturates to infinity rather than converting undefinedly.
float hostValue(double value);

class ClapEditor;

// The extensions, one file each.
extern const clap_plugin_params_t kParamsExtension;  // ClapParams.cc
extern const clap_plugin_state_t kStateExtension;    // ClapParams.cc
extern const struct clap_plugin_gui kGuiExtension;   // ClapEditor.cc
extern const clap_plugin_timer_support_t kTimerExtension;  // ClapEditor.cc

class ClapSynth {
public:
    explicit ClapSynth(const clap_host_t* host);
    ~ClapSynth();

    const clap_plugin_t* plugin() const { return &plugin_; }
    static ClapSynth& of(const clap_plugin_t* p) { return *static_cast<ClapSynth*>(p->plugin_data); }

    // main
    bool init();
    bool activate(double rate);
    void deactivate() { active_ = false; }
    const void* extension(const char* id) const;

    // audio
    clap_process_status process(const clap_process_t* p);
    // audio while active, main otherwise: parameter events without audio.
    void flush(const clap_input_events_t* in, const clap_output_events_t* out);
    // Voices, glide and bend as after activation; the rate and the current
    // values stay.
    void reset();

    // any
    float value(int index) const { return engine_.parameter(index); }
    // The rate parameter conversions use: the activated one, 44100 before.
    float rate() const { return rate_.load(std::memory_order_relaxed); }

    // main (the editor): a user's edit, applied now and reported to the
    // host in the next process or flush.
    void userValue(int index, float v);
    void userBegin(int index);
    void userEnd(int index);

    // main
    bool save(const clap_ostream_t* stream) const;
    bool load(const clap_istream_t* stream);
    bool onMainThread() const;

    const clap_host_t* host() const { return host_; }
    const clap_host_timer_support_t* hostTimer() const { return hostTimer_; }
    std::unique_ptr<ClapEditor>& editor() { return editor_; }

private:
    void applyEvent(const clap_event_header_t* ev, bool withNotes);
    // Every value the host, the user or a state sets goes through here.
    void setValue(int32_t index, float value);
    void reportEdits(const clap_output_events_t* out);
    void renderSpan(float* left, float* right, uint32_t from, uint32_t to);

    clap_plugin_t plugin_;
    const clap_host_t* host_;
    const clap_host_params_t* hostParams_ = nullptr;
    const clap_host_state_t* hostState_ = nullptr;
    const clap_host_thread_check_t* threadCheck_ = nullptr;
    const clap_host_timer_support_t* hostTimer_ = nullptr;
    Engine engine_;
    std::atomic<float> rate_{kDefaultSampleRate};
    bool active_ = false;  // main
    UiEdits edits_;
    std::unique_ptr<ClapEditor> editor_;  // main
    // Where the audio goes when a host hands no buffers: the engine still
    // advances, so the sound after such a block is what it would have been.
    float scratch_[2][256];
};

}  // namespace orvo::clap
