#include "ClapHost.h"

#include <algorithm>
#include <cstdio>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace orvo::test {

AnyEvent noteEvent(uint32_t time, uint16_t type, int16_t channel, int16_t key, double velocity) {
    AnyEvent e{};
    e.note.header = {sizeof(clap_event_note_t), time, CLAP_CORE_EVENT_SPACE_ID, type, 0};
    e.note.note_id = -1;
    e.note.port_index = 0;
    e.note.channel = channel;
    e.note.key = key;
    e.note.velocity = velocity;
    return e;
}

AnyEvent midiEvent(uint32_t time, const uint8_t bytes[3]) {
    AnyEvent e{};
    e.midi.header = {sizeof(clap_event_midi_t), time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0};
    e.midi.port_index = 0;
    std::memcpy(e.midi.data, bytes, 3);
    return e;
}

AnyEvent paramEvent(uint32_t time, uint32_t id, double value) {
    AnyEvent e{};
    e.param.header = {sizeof(clap_event_param_value_t), time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    e.param.param_id = id;
    e.param.note_id = e.param.port_index = e.param.channel = e.param.key = -1;
    e.param.value = value;
    return e;
}

uint32_t CLAP_ABI InEvents::size(const clap_input_events_t* l) {
    return static_cast<uint32_t>(static_cast<const InEvents*>(l->ctx)->list.size());
}
const clap_event_header_t* CLAP_ABI InEvents::get(const clap_input_events_t* l, uint32_t i) {
    auto* self = static_cast<const InEvents*>(l->ctx);
    return i < self->list.size() ? &self->list[i].header : nullptr;
}
bool CLAP_ABI OutEvents::push(const clap_output_events_t* l, const clap_event_header_t* e) {
    AnyEvent copy{};
    std::memcpy(&copy, e, std::min<size_t>(e->size, sizeof copy));
    static_cast<OutEvents*>(l->ctx)->list.push_back(copy);
    return true;
}

const clap_plugin_entry_t* loadClap(const char* path) {
#if defined(_WIN32)
    HMODULE lib = LoadLibraryA(path);
    auto* entry = lib ? reinterpret_cast<const clap_plugin_entry_t*>(GetProcAddress(lib, "clap_entry")) : nullptr;
#else
    void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    auto* entry = lib ? static_cast<const clap_plugin_entry_t*>(dlsym(lib, "clap_entry")) : nullptr;
#endif
    if (!entry || !entry->init || !entry->init(path)) return nullptr;
    return entry;
}

orvo::timed::EntryPoint loadVst2(const char* path) {
#if defined(_WIN32)
    HMODULE lib = LoadLibraryA(path);
    return lib ? reinterpret_cast<orvo::timed::EntryPoint>(reinterpret_cast<void*>(GetProcAddress(lib, "main")))
               : nullptr;
#else
    void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    return lib ? reinterpret_cast<orvo::timed::EntryPoint>(dlsym(lib, "VSTPluginMain")) : nullptr;
#endif
}

namespace {

bool CLAP_ABI isMain(const clap_host_t*) { return true; }
bool CLAP_ABI isAudio(const clap_host_t*) { return true; }
const clap_host_thread_check_t kThreadCheck = {isMain, isAudio};

void CLAP_ABI requestNothing(const clap_host_t*) {}

}  // namespace

const void* CLAP_ABI Host::extension(const clap_host_t* h, const char* id) {
    static const clap_host_params_t params = {
        [](const clap_host_t* h, clap_param_rescan_flags) { ++of(h).rescans; },
        [](const clap_host_t*, clap_id, clap_param_clear_flags) {},
        [](const clap_host_t* h) { ++of(h).flushRequests; },
    };
    static const clap_host_state_t state = {[](const clap_host_t* h) { ++of(h).dirty; }};
    static const orvo::clap::presets::HostPresetLoad presetLoad = {
        [](const clap_host_t* h, uint32_t, const char*, const char*, int32_t, const char* message) {
            of(h).presetErrors.push_back(message ? message : "");
        },
        [](const clap_host_t* h, uint32_t, const char* location, const char* key) {
            of(h).presetsLoaded.push_back(key ? key : location ? location : "");
        },
    };
    static const clap_host_timer_support_t timers = {
        [](const clap_host_t* h, uint32_t period, clap_id* id) {
            Host& self = of(h);
            *id = self.nextTimer_++;
            self.timers.push_back({*id, period});
            return true;
        },
        [](const clap_host_t* h, clap_id id) {
            auto& t = of(h).timers;
            auto it = std::find_if(t.begin(), t.end(), [id](auto& p) { return p.first == id; });
            if (it == t.end()) return false;
            t.erase(it);
            return true;
        },
    };
    if (!std::strcmp(id, CLAP_EXT_PARAMS)) return &params;
    if (!std::strcmp(id, CLAP_EXT_STATE)) return &state;
    if (!std::strcmp(id, CLAP_EXT_THREAD_CHECK)) return &kThreadCheck;
    if (!std::strcmp(id, orvo::clap::presets::kPresetLoadIds[0])) return &presetLoad;
    if (!std::strcmp(id, CLAP_EXT_TIMER_SUPPORT)) return of(h).offerTimer ? &timers : nullptr;
    return nullptr;
}

Host::Host(const clap_plugin_entry_t* entry, bool offerTimer) : offerTimer(offerTimer) {
    host_.clap_version = CLAP_VERSION;
    host_.host_data = this;
    host_.name = "orvo-clap-test";
    host_.vendor = "test";
    host_.url = "";
    host_.version = "1";
    host_.get_extension = extension;
    host_.request_restart = requestNothing;
    host_.request_process = requestNothing;
    host_.request_callback = requestNothing;
    auto* factory = entry ? static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID)) : nullptr;
    const clap_plugin_descriptor_t* desc = factory ? factory->get_plugin_descriptor(factory, 0) : nullptr;
    plugin = desc ? factory->create_plugin(factory, &host_, desc->id) : nullptr;
    if (!plugin || !plugin->init(plugin)) {
        if (plugin) plugin->destroy(plugin);
        plugin = nullptr;
        return;
    }
    params = static_cast<const clap_plugin_params_t*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS));
    state = static_cast<const clap_plugin_state_t*>(plugin->get_extension(plugin, CLAP_EXT_STATE));
    gui = static_cast<const clap_plugin_gui_t*>(plugin->get_extension(plugin, CLAP_EXT_GUI));
    timer = static_cast<const clap_plugin_timer_support_t*>(plugin->get_extension(plugin, CLAP_EXT_TIMER_SUPPORT));
    presetLoad = static_cast<const orvo::clap::presets::PluginPresetLoad*>(
        plugin->get_extension(plugin, orvo::clap::presets::kPresetLoadIds[0]));
}

Host::~Host() {
    if (!plugin) return;
    if (active_) {
        plugin->stop_processing(plugin);
        plugin->deactivate(plugin);
    }
    plugin->destroy(plugin);
}

bool Host::activate(double rate, uint32_t maxFrames) {
    if (active_) {
        plugin->stop_processing(plugin);
        plugin->deactivate(plugin);
        active_ = false;
    }
    if (!plugin->activate(plugin, rate, 1, maxFrames)) return false;
    active_ = plugin->start_processing(plugin);
    return active_;
}

clap_process_status Host::process(uint32_t frames, InEvents& in, OutEvents* out) {
    left.assign(frames, 0.5f);  // garbage the plug-in must overwrite
    right.assign(frames, -0.5f);
    float* channels[2] = {left.data(), right.data()};
    clap_audio_buffer_t output{};
    output.data32 = channels;
    output.channel_count = 2;
    OutEvents ignored;
    clap_process_t p{};
    p.steady_time = -1;
    p.frames_count = frames;
    p.audio_outputs = &output;
    p.audio_outputs_count = 1;
    p.in_events = &in.api;
    p.out_events = out ? &out->api : &ignored.api;
    return plugin->process(plugin, &p);
}

void Host::tickTimers() {
    const auto now = timers;  // a tick may register or unregister
    for (auto& t : now)
        if (timer) timer->on_timer(plugin, t.first);
}

uint64_t clapSessionHash(const clap_plugin_entry_t* entry, uint32_t block, double rate) {
    Host host(entry);
    if (!host.plugin || !host.activate(rate, block)) return 0;
    const auto& list = orvo::timed::session();
    orvo::timed::Hash hash;
    size_t next = 0;
    InEvents in;
    for (uint32_t done = 0; done < orvo::timed::kFrames;) {
        const uint32_t frames = std::min(block, orvo::timed::kFrames - done);
        in.list.clear();
        for (; next < list.size() && list[next].frame < done + frames; ++next) {
            const auto& e = list[next];
            const uint32_t at = e.frame - done;
            if (e.kind == orvo::timed::Event::kParam) {
                in.list.push_back(paramEvent(at, static_cast<uint32_t>(e.index), e.value));
            } else if (e.noteForm) {
                const bool on = (e.midi[0] & 0xF0) == 0x90;
                in.list.push_back(noteEvent(at, on ? CLAP_EVENT_NOTE_ON : CLAP_EVENT_NOTE_OFF, e.midi[0] & 0x0F,
                                            e.midi[1], e.midi[2] / 127.0));
            } else {
                in.list.push_back(midiEvent(at, e.midi));
            }
        }
        host.process(frames, in);
        hash.add(host.left.data(), host.right.data(), frames);
        done += frames;
    }
    return hash.h;
}

uint64_t phraseHash(Host& host) {
    orvo::timed::Hash hash;
    InEvents in;
    const uint8_t on[3] = {0x90, 60, 100}, off[3] = {0x80, 60, 0}, on2[3] = {0x91, 67, 80};
    for (int block = 0; block < 40; ++block) {
        in.list.clear();
        if (block == 0) in.list.push_back(midiEvent(10, on));
        if (block == 9) in.list.push_back(midiEvent(100, on2));
        if (block == 20) in.list.push_back(midiEvent(0, off));
        host.process(512, in);
        hash.add(host.left.data(), host.right.data(), 512);
    }
    return hash.h;
}

void setValues(Host& host, const std::vector<std::pair<uint32_t, double>>& values) {
    InEvents in;
    for (auto& [id, v] : values) in.list.push_back(paramEvent(0, id, v));
    OutEvents out;
    host.params->flush(host.plugin, &in.api, &out.api);
}

bool openEditor(Host& host, const clap_window_t& parent) {
    return host.gui->create(host.plugin, parent.api, false) && host.gui->set_parent(host.plugin, &parent) &&
           host.gui->show(host.plugin);
}

std::string gestureTrace(Host& host, uint32_t id) {
    InEvents in;
    OutEvents out;
    host.process(64, in, &out);
    std::string trace;
    for (const AnyEvent& e : out.list) {
        char item[48] = "";
        const uint16_t type = e.header.type;
        if (type == CLAP_EVENT_PARAM_GESTURE_BEGIN && e.gesture.param_id == id) std::snprintf(item, sizeof item, "begin ");
        if (type == CLAP_EVENT_PARAM_GESTURE_END && e.gesture.param_id == id) std::snprintf(item, sizeof item, "end ");
        if (type == CLAP_EVENT_PARAM_VALUE && e.param.param_id == id)
            std::snprintf(item, sizeof item, "value %.3f ", e.param.value);
        trace += item;
    }
    return trace;
}

uint32_t bitsOf(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

}  // namespace orvo::test
