// The instrument as a CLAP plug-in: the twelve parameters as CLAP
// parameters, one note port, one stereo output, the saved state and the
// editor, over the instrument object. Only this folder sees CLAP's types.
//
// Each entry point says which thread the host calls it on: main (the
// host's main thread, where the GUI lives too), audio, or any.
#pragma once

#include <memory>

#include <clap/events.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/thread-check.h>
#include <clap/ext/timer-support.h>
#include <clap/host.h>
#include <clap/plugin.h>

#include "Instrument.h"
#include "PresetApi.h"
#include "UiEdits.h"

namespace orvo::clap {

extern const clap_plugin_descriptor_t kDescriptor;


class ClapEditor;

// The extensions, one file each.
extern const clap_plugin_params_t kParamsExtension;  // ClapParams.cc
extern const clap_plugin_state_t kStateExtension;    // ClapParams.cc
extern const struct clap_plugin_gui kGuiExtension;   // ClapEditor.cc
extern const clap_plugin_timer_support_t kTimerExtension;  // ClapEditor.cc
extern const presets::PluginPresetLoad kPresetLoadExtension;  // ClapPresetLoad.cc
extern const presets::DiscoveryFactory kDiscoveryFactory;     // PresetDiscovery.cc

class ClapSynth {
public:
    explicit ClapSynth(const clap_host_t* host);
    ~ClapSynth();

    const clap_plugin_t* plugin() const { return &plugin_; }
    static ClapSynth& of(const clap_plugin_t* p) { return *static_cast<ClapSynth*>(p->plugin_data); }

    // main
    bool init();
    bool activate(double rate);
    void deactivate() {}
    const void* extension(const char* id) const;

    // audio
    clap_process_status process(const clap_process_t* p);
    // audio while active, main otherwise: parameter events without audio.
    void flush(const clap_input_events_t* in, const clap_output_events_t* out);
    // Voices, glide and bend as after activation; the rate and the current
    // values stay.
    void reset() { instrument_.reset(); }

    // any
    float value(int index) const { return instrument_.value(index); }

    // main (the editor): a user's edit, applied now and reported to the
    // host in the next process or flush.
    void userValue(int index, float v);
    void userBegin(int index);
    void userEnd(int index);

    // main
    bool save(const clap_ostream_t* stream) const;
    bool load(const clap_istream_t* stream);
    // A program file or a factory preset by name (the load key), applied as
    // a loaded state is; a failure changes nothing and reaches the host.
    bool loadPreset(uint32_t kind, const char* location, const char* key);
    bool onMainThread() const;

    const clap_host_t* host() const { return host_; }
    const clap_host_timer_support_t* hostTimer() const { return hostTimer_; }
    std::unique_ptr<ClapEditor>& editor() { return editor_; }

private:
    void reportEdits(const clap_output_events_t* out);

    clap_plugin_t plugin_;
    const clap_host_t* host_;
    const clap_host_params_t* hostParams_ = nullptr;
    const clap_host_state_t* hostState_ = nullptr;
    const clap_host_thread_check_t* threadCheck_ = nullptr;
    const clap_host_timer_support_t* hostTimer_ = nullptr;
    const presets::HostPresetLoad* hostPresetLoad_ = nullptr;
    Instrument instrument_;
    UiEdits edits_;
    std::unique_ptr<ClapEditor> editor_;  // main
};

}  // namespace orvo::clap
