#include "ClapSynth.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/note-ports.h>

#include "ClapEditor.h"
#include "Round.h"
#include "Text.h"

namespace orvo::clap {
namespace {

constexpr clap_id kNotePortId = 0;
constexpr clap_id kAudioPortId = 0;

// --- the record's entry points -------------------------------------------------

bool CLAP_ABI pluginInit(const clap_plugin_t* p) { return ClapSynth::of(p).init(); }  // main
void CLAP_ABI pluginDestroy(const clap_plugin_t* p) { delete &ClapSynth::of(p); }     // main
bool CLAP_ABI pluginActivate(const clap_plugin_t* p, double rate, uint32_t, uint32_t) {  // main
    return ClapSynth::of(p).activate(rate);
}
void CLAP_ABI pluginDeactivate(const clap_plugin_t* p) { ClapSynth::of(p).deactivate(); }  // main
bool CLAP_ABI pluginStartProcessing(const clap_plugin_t*) { return true; }                // audio
void CLAP_ABI pluginStopProcessing(const clap_plugin_t*) {}                               // audio
void CLAP_ABI pluginReset(const clap_plugin_t* p) { ClapSynth::of(p).reset(); }           // audio
clap_process_status CLAP_ABI pluginProcess(const clap_plugin_t* p, const clap_process_t* process) {  // audio
    return ClapSynth::of(p).process(process);
}
const void* CLAP_ABI pluginExtension(const clap_plugin_t* p, const char* id) {  // any
    return ClapSynth::of(p).extension(id);
}
void CLAP_ABI pluginOnMainThread(const clap_plugin_t*) {}  // main

// --- ports ---------------------------------------------------------------------

uint32_t CLAP_ABI notePortCount(const clap_plugin_t*, bool isInput) { return isInput ? 1 : 0; }  // main
bool CLAP_ABI notePortGet(const clap_plugin_t*, uint32_t index, bool isInput, clap_note_port_info_t* info) {  // main
    if (!isInput || index != 0 || !info) return false;
    info->id = kNotePortId;
    info->supported_dialects = CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI;
    info->preferred_dialect = CLAP_NOTE_DIALECT_MIDI;
    std::snprintf(info->name, sizeof info->name, "%s", "Notes");
    return true;
}
const clap_plugin_note_ports_t kNotePorts = {notePortCount, notePortGet};

uint32_t CLAP_ABI audioPortCount(const clap_plugin_t*, bool isInput) { return isInput ? 0 : 1; }  // main
bool CLAP_ABI audioPortGet(const clap_plugin_t*, uint32_t index, bool isInput, clap_audio_port_info_t* info) {  // main
    if (isInput || index != 0 || !info) return false;
    info->id = kAudioPortId;
    std::snprintf(info->name, sizeof info->name, "%s", "Output");
    info->flags = CLAP_AUDIO_PORT_IS_MAIN;
    info->channel_count = kNumOutputs;
    info->port_type = CLAP_PORT_STEREO;
    info->in_place_pair = CLAP_INVALID_ID;
    return true;
}
const clap_plugin_audio_ports_t kAudioPorts = {audioPortCount, audioPortGet};

// The nearest MIDI velocity to a CLAP one (0..1); a note-on never gets 0,
// which MIDI would read as a note-off.
uint8_t onVelocity(double v) {
    if (!(v > 0)) return 1;
    return static_cast<uint8_t>(std::clamp<int32_t>(roundToInt(std::min(v, 1.0) * 127.0), 1, 127));
}

uint8_t offVelocity(double v) {
    if (!(v > 0)) return 0;
    return static_cast<uint8_t>(std::clamp<int32_t>(roundToInt(std::min(v, 1.0) * 127.0), 0, 127));
}

}  // namespace

ClapSynth::ClapSynth(const clap_host_t* host) : host_(host) {
    plugin_.desc = &kDescriptor;
    plugin_.plugin_data = this;
    plugin_.init = pluginInit;
    plugin_.destroy = pluginDestroy;
    plugin_.activate = pluginActivate;
    plugin_.deactivate = pluginDeactivate;
    plugin_.start_processing = pluginStartProcessing;
    plugin_.stop_processing = pluginStopProcessing;
    plugin_.reset = pluginReset;
    plugin_.process = pluginProcess;
    plugin_.get_extension = pluginExtension;
    plugin_.on_main_thread = pluginOnMainThread;
}

// The editor goes first: a form still open reads values while it closes.
ClapSynth::~ClapSynth() { editor_.reset(); }

bool ClapSynth::init() {
    auto ext = [this](const char* id) { return host_->get_extension ? host_->get_extension(host_, id) : nullptr; };
    hostParams_ = static_cast<const clap_host_params_t*>(ext(CLAP_EXT_PARAMS));
    hostState_ = static_cast<const clap_host_state_t*>(ext(CLAP_EXT_STATE));
    threadCheck_ = static_cast<const clap_host_thread_check_t*>(ext(CLAP_EXT_THREAD_CHECK));
    hostTimer_ = static_cast<const clap_host_timer_support_t*>(ext(CLAP_EXT_TIMER_SUPPORT));
    for (const char* id : presets::kPresetLoadIds)
        if (!hostPresetLoad_) hostPresetLoad_ = static_cast<const presets::HostPresetLoad*>(ext(id));
    // An extension with a missing function counts as absent.
    if (hostParams_ && !hostParams_->request_flush) hostParams_ = nullptr;
    if (hostState_ && !hostState_->mark_dirty) hostState_ = nullptr;
    if (threadCheck_ && !threadCheck_->is_main_thread) threadCheck_ = nullptr;
    if (hostTimer_ && (!hostTimer_->register_timer || !hostTimer_->unregister_timer)) hostTimer_ = nullptr;
    if (hostPresetLoad_ && (!hostPresetLoad_->on_error || !hostPresetLoad_->loaded)) hostPresetLoad_ = nullptr;
    return true;
}

bool ClapSynth::onMainThread() const { return !threadCheck_ || threadCheck_->is_main_thread(host_); }

// Every value converts at the host's rate, whether it was set (or a state
// loaded) before activation or after.
bool ClapSynth::activate(double rate) { return instrument_.activate(rate); }

const void* ClapSynth::extension(const char* id) const {
    if (!id) return nullptr;
    if (!std::strcmp(id, CLAP_EXT_PARAMS)) return &kParamsExtension;
    if (!std::strcmp(id, CLAP_EXT_STATE)) return &kStateExtension;
    if (!std::strcmp(id, CLAP_EXT_NOTE_PORTS)) return &kNotePorts;
    if (!std::strcmp(id, CLAP_EXT_AUDIO_PORTS)) return &kAudioPorts;
    for (const char* presetLoad : presets::kPresetLoadIds)
        if (!std::strcmp(id, presetLoad)) return &kPresetLoadExtension;
    if (ClapEditor::available()) {
        if (!std::strcmp(id, CLAP_EXT_GUI)) return &kGuiExtension;
        if (!std::strcmp(id, CLAP_EXT_TIMER_SUPPORT)) return &kTimerExtension;
    }
    return nullptr;
}


namespace {

// The host's events of one call as the instrument takes them. Notes in
// CLAP's own form become the MIDI the instrument plays; a note-off for
// every key (key -1) becomes one per key. MIDI data bytes pass as they
// come, as every other format passes them.
class ClapEvents final : public EventSource {
public:
    ClapEvents(const clap_input_events_t* in, bool withNotes) : in_(in), withNotes_(withNotes) {
        count_ = in && in->size && in->get ? in->size(in) : 0;
    }

    bool next(Event& out) override {
        for (;;) {
            if (allKeys_ > 0) {
                out = pending_;
                out.midi[1] = static_cast<uint8_t>(128 - allKeys_--);
                return true;
            }
            if (i_ >= count_) return false;
            if (take(in_->get(in_, i_++), out)) return true;
        }
    }

private:
    bool take(const clap_event_header_t* ev, Event& out) {
        if (!ev || ev->space_id != CLAP_CORE_EVENT_SPACE_ID) return false;
        out = Event{};
        out.frame = ev->time;
        switch (ev->type) {
            case CLAP_EVENT_PARAM_VALUE: {
                if (ev->size < sizeof(clap_event_param_value_t)) return false;
                auto* e = reinterpret_cast<const clap_event_param_value_t*>(ev);
                if (!isParamIndex(static_cast<int32_t>(e->param_id))) return false;
                out.kind = Event::Kind::kValue;
                out.index = static_cast<int32_t>(e->param_id);
                out.value = valueFromHost(e->value);
                return true;
            }
            case CLAP_EVENT_NOTE_ON:
            case CLAP_EVENT_NOTE_OFF:
            case CLAP_EVENT_NOTE_CHOKE: {
                if (!withNotes_ || ev->size < sizeof(clap_event_note_t)) return false;
                auto* e = reinterpret_cast<const clap_event_note_t*>(ev);
                const uint8_t channel = static_cast<uint8_t>(e->channel >= 0 && e->channel < 16 ? e->channel : 0);
                if (ev->type == CLAP_EVENT_NOTE_ON) {
                    if (e->key < 0 || e->key >= 128) return false;
                    out.midi[0] = 0x90 | channel;
                    out.midi[1] = static_cast<uint8_t>(e->key);
                    out.midi[2] = onVelocity(e->velocity);
                    return true;
                }
                out.midi[0] = 0x80 | channel;
                out.midi[2] = offVelocity(e->velocity);
                if (e->key >= 0 && e->key < 128) {
                    out.midi[1] = static_cast<uint8_t>(e->key);
                    return true;
                }
                if (e->key != -1) return false;
                pending_ = out;
                allKeys_ = 128;
                return false;  // next() hands them out
            }
            case CLAP_EVENT_MIDI: {
                if (!withNotes_ || ev->size < sizeof(clap_event_midi_t)) return false;
                auto* e = reinterpret_cast<const clap_event_midi_t*>(ev);
                std::memcpy(out.midi, e->data, 3);
                return true;
            }
            default: return false;  // expressions, modulation, transport, sysex: nothing the instrument plays
        }
    }

    const clap_input_events_t* in_;
    bool withNotes_;
    uint32_t count_ = 0;
    uint32_t i_ = 0;
    Event pending_;
    int allKeys_ = 0;
};

}  // namespace

// The instrument applies every event at its frame (Instrument::process).
clap_process_status ClapSynth::process(const clap_process_t* p) {
    if (!p) return CLAP_PROCESS_ERROR;
    reportEdits(p->out_events);
    float* left = nullptr;
    float* right = nullptr;
    if (p->audio_outputs_count >= 1 && p->audio_outputs && p->audio_outputs[0].data32 &&
        p->audio_outputs[0].channel_count >= 2) {
        left = p->audio_outputs[0].data32[0];
        right = p->audio_outputs[0].data32[1];
        if (!left || !right) left = right = nullptr;
    }
    ClapEvents events(p->in_events, true);
    instrument_.process(left, right, p->frames_count, events);
    return instrument_.asleep() ? CLAP_PROCESS_SLEEP : CLAP_PROCESS_CONTINUE;
}

// Parameter changes only, with no audio to place them in.
void ClapSynth::flush(const clap_input_events_t* in, const clap_output_events_t* out) {
    ClapEvents events(in, false);
    for (Event e; events.next(e);)
        if (e.kind == Event::Kind::kValue) instrument_.setValue(e.index, e.value);
    reportEdits(out);
}

void ClapSynth::reportEdits(const clap_output_events_t* out) {
    if (!out || !out->try_push) return;
    edits_.collect([&](UiEdits::Kind kind, int index) {
        if (kind == UiEdits::Kind::kValue) {
            clap_event_param_value_t e{};
            e.header = {sizeof e, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
            e.param_id = static_cast<clap_id>(index);
            e.note_id = e.port_index = e.channel = e.key = -1;
            e.value = instrument_.value(index);
            out->try_push(out, &e.header);
        } else {
            clap_event_param_gesture_t e{};
            const uint16_t type = kind == UiEdits::Kind::kBegin ? CLAP_EVENT_PARAM_GESTURE_BEGIN : CLAP_EVENT_PARAM_GESTURE_END;
            e.header = {sizeof e, 0, CLAP_CORE_EVENT_SPACE_ID, type, 0};
            e.param_id = static_cast<clap_id>(index);
            out->try_push(out, &e.header);
        }
    });
}

void ClapSynth::userValue(int index, float v) {
    instrument_.setValue(index, v);
    edits_.noteValue(index);
    if (hostParams_) hostParams_->request_flush(host_);
    if (hostState_) hostState_->mark_dirty(host_);
}

void ClapSynth::userBegin(int index) {
    edits_.begin(index);
    if (hostParams_) hostParams_->request_flush(host_);
}

void ClapSynth::userEnd(int index) {
    edits_.end(index);
    if (hostParams_) hostParams_->request_flush(host_);
}

}  // namespace orvo::clap
