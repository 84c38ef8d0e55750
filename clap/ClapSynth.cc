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

// A usable rate as the engine takes it: finite, positive, and not so small
// that the pitch step would leave the float range.
bool usableRate(double rate) { return std::isfinite(rate) && rate > 0 && kTableStepScale / rate <= FLT_MAX; }

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
    // An extension with a missing function counts as absent.
    if (hostParams_ && !hostParams_->request_flush) hostParams_ = nullptr;
    if (hostState_ && !hostState_->mark_dirty) hostState_ = nullptr;
    if (threadCheck_ && !threadCheck_->is_main_thread) threadCheck_ = nullptr;
    if (hostTimer_ && (!hostTimer_->register_timer || !hostTimer_->unregister_timer)) hostTimer_ = nullptr;
    return true;
}

bool ClapSynth::onMainThread() const { return !threadCheck_ || threadCheck_->is_main_thread(host_); }

// As the VST 2 plug-in takes a host's new rate: the pitch step follows it
// at once, and each value converts at the rate in force when it is set. So
// every format sounds the same for the same events, whatever the rate.
bool ClapSynth::activate(double rate) {
    if (!usableRate(rate)) return false;
    rate_.store(static_cast<float>(rate), std::memory_order_relaxed);
    engine_.setSampleRate(static_cast<float>(rate));
    active_ = true;
    return true;
}

void ClapSynth::reset() { engine_.restart(rate()); }

void ClapSynth::setValue(int32_t index, float value) { engine_.setParameter(index, value, rate()); }

const void* ClapSynth::extension(const char* id) const {
    if (!id) return nullptr;
    if (!std::strcmp(id, CLAP_EXT_PARAMS)) return &kParamsExtension;
    if (!std::strcmp(id, CLAP_EXT_STATE)) return &kStateExtension;
    if (!std::strcmp(id, CLAP_EXT_NOTE_PORTS)) return &kNotePorts;
    if (!std::strcmp(id, CLAP_EXT_AUDIO_PORTS)) return &kAudioPorts;
    if (ClapEditor::available()) {
        if (!std::strcmp(id, CLAP_EXT_GUI)) return &kGuiExtension;
        if (!std::strcmp(id, CLAP_EXT_TIMER_SUPPORT)) return &kTimerExtension;
    }
    return nullptr;
}

float hostValue(double value) {
    if (std::isfinite(value) && std::fabs(value) > FLT_MAX) return value > 0 ? HUGE_VALF : -HUGE_VALF;
    return static_cast<float>(value);
}

void ClapSynth::applyEvent(const clap_event_header_t* ev, bool withNotes) {
    if (!ev || ev->space_id != CLAP_CORE_EVENT_SPACE_ID) return;
    switch (ev->type) {
        case CLAP_EVENT_PARAM_VALUE: {
            if (ev->size < sizeof(clap_event_param_value_t)) return;
            auto* e = reinterpret_cast<const clap_event_param_value_t*>(ev);
            if (isParamIndex(static_cast<int32_t>(e->param_id))) setValue(static_cast<int32_t>(e->param_id), hostValue(e->value));
            return;
        }
        case CLAP_EVENT_NOTE_ON:
        case CLAP_EVENT_NOTE_OFF:
        case CLAP_EVENT_NOTE_CHOKE: {
            if (!withNotes || ev->size < sizeof(clap_event_note_t)) return;
            auto* e = reinterpret_cast<const clap_event_note_t*>(ev);
            const uint8_t channel = static_cast<uint8_t>(e->channel >= 0 && e->channel < 16 ? e->channel : 0);
            if (ev->type == CLAP_EVENT_NOTE_ON) {
                if (e->key >= 0 && e->key < 128)
                    engine_.midi(0x90 | channel, static_cast<uint8_t>(e->key), onVelocity(e->velocity), 0);
                return;
            }
            // A key of -1 means every key.
            const uint8_t vel = offVelocity(e->velocity);
            if (e->key >= 0 && e->key < 128)
                engine_.midi(0x80 | channel, static_cast<uint8_t>(e->key), vel, 0);
            else if (e->key == -1)
                for (uint8_t k = 0; k < 128; ++k) engine_.midi(0x80 | channel, k, vel, 0);
            return;
        }
        case CLAP_EVENT_MIDI: {
            if (!withNotes || ev->size < sizeof(clap_event_midi_t)) return;
            auto* e = reinterpret_cast<const clap_event_midi_t*>(ev);
            engine_.midi(e->data[0], e->data[1] & 0x7F, e->data[2] & 0x7F, 0);
            return;
        }
        default: return;  // expressions, modulation, transport, sysex: nothing the instrument plays
    }
}

void ClapSynth::renderSpan(float* left, float* right, uint32_t from, uint32_t to) {
    while (from < to) {
        const uint32_t n = left ? std::min<uint32_t>(to - from, 1u << 20)
                                : std::min<uint32_t>(to - from, sizeof scratch_[0] / sizeof scratch_[0][0]);
        if (left)
            engine_.renderReplacing(left + from, right + from, static_cast<int32_t>(n));
        else
            engine_.renderReplacing(scratch_[0], scratch_[1], static_cast<int32_t>(n));
        from += n;
    }
}

// Every event is applied at its frame: the block is rendered up to it, the
// event applied, and rendering goes on. Events before the current position
// (out of order) apply there; those past the block at its end.
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
    const uint32_t frames = p->frames_count;
    const clap_input_events_t* in = p->in_events;
    const uint32_t count = in && in->size && in->get ? in->size(in) : 0;
    uint32_t pos = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const clap_event_header_t* ev = in->get(in, i);
        if (!ev) continue;
        const uint32_t at = std::clamp(ev->time, pos, frames);
        renderSpan(left, right, pos, at);
        pos = at;
        applyEvent(ev, true);
    }
    renderSpan(left, right, pos, frames);
    return engine_.asleep() ? CLAP_PROCESS_SLEEP : CLAP_PROCESS_CONTINUE;
}

void ClapSynth::flush(const clap_input_events_t* in, const clap_output_events_t* out) {
    const uint32_t count = in && in->size && in->get ? in->size(in) : 0;
    for (uint32_t i = 0; i < count; ++i) applyEvent(in->get(in, i), false);
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
            e.value = engine_.parameter(index);
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
    setValue(index, v);
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
