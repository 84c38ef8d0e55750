#include "Vst3Host.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "timed.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace orvo::test {
namespace {

// The host's objects live on the test's stack: their references count
// nothing, and each answers only for its own interface.
v3_result V3_API noQuery(void*, const v3_tuid, void** obj) {
    *obj = nullptr;
    return V3_NO_INTERFACE;
}
uint32_t V3_API one(void*) { return 1; }

template <class T>
T& self(void* p) { return *static_cast<T*>(p); }

uint32_t V3_API eventCount(void* p) { return static_cast<uint32_t>(self<EventList>(p).events.size()); }
v3_result V3_API getEvent(void* p, int32_t i, v3_event* e) {
    auto& list = self<EventList>(p).events;
    if (i < 0 || static_cast<size_t>(i) >= list.size()) return V3_INVALID_ARG;
    *e = list[static_cast<size_t>(i)];
    return V3_OK;
}
v3_result V3_API addEvent(void*, v3_event*) { return V3_NOT_IMPLEMENTED; }
const v3_event_list_cpp kEventList = {{noQuery, one, one}, {eventCount, getEvent, addEvent}};

v3_param_id V3_API queueId(void* p) { return self<ParamQueue>(p).id; }
int32_t V3_API pointCount(void* p) { return static_cast<int32_t>(self<ParamQueue>(p).points.size()); }
v3_result V3_API getPoint(void* p, int32_t i, int32_t* offset, double* value) {
    auto& points = self<ParamQueue>(p).points;
    if (i < 0 || static_cast<size_t>(i) >= points.size()) return V3_INVALID_ARG;
    *offset = points[static_cast<size_t>(i)].first;
    *value = points[static_cast<size_t>(i)].second;
    return V3_OK;
}
v3_result V3_API addPoint(void*, int32_t, double, int32_t*) { return V3_NOT_IMPLEMENTED; }
const v3_param_value_queue_cpp kQueue = {{noQuery, one, one}, {queueId, pointCount, getPoint, addPoint}};

int32_t V3_API queueCount(void* p) { return static_cast<int32_t>(self<ParamChanges>(p).queues.size()); }
v3_param_value_queue** V3_API queueAt(void* p, int32_t i) {
    auto& queues = self<ParamChanges>(p).queues;
    if (i < 0 || static_cast<size_t>(i) >= queues.size()) return nullptr;
    return reinterpret_cast<v3_param_value_queue**>(&queues[static_cast<size_t>(i)]);
}
v3_param_value_queue** V3_API addQueue(void*, v3_param_id*, int32_t*) { return nullptr; }
const v3_param_changes_cpp kChanges = {{noQuery, one, one}, {queueCount, queueAt, addQueue}};

struct StreamTable : v3_funknown {
    v3_bstream stream;
};
v3_result V3_API streamRead(void* p, void* buffer, int32_t size, int32_t* done) {
    Stream& s = self<Stream>(p);
    const size_t n = std::min({static_cast<size_t>(size), s.chunk, s.bytes.size() - s.at});
    std::memcpy(buffer, s.bytes.data() + s.at, n);
    s.at += n;
    if (done) *done = static_cast<int32_t>(n);
    return V3_OK;
}
v3_result V3_API streamWrite(void* p, void* buffer, int32_t size, int32_t* done) {
    auto* b = static_cast<const uint8_t*>(buffer);
    self<Stream>(p).bytes.insert(self<Stream>(p).bytes.end(), b, b + size);
    if (done) *done = size;
    return V3_OK;
}
v3_result V3_API streamSeek(void*, int64_t, int32_t, int64_t*) { return V3_NOT_IMPLEMENTED; }
v3_result V3_API streamTell(void* p, int64_t* pos) {
    *pos = static_cast<int64_t>(self<Stream>(p).at);
    return V3_OK;
}
const StreamTable kStream = {{noQuery, one, one}, {streamRead, streamWrite, streamSeek, streamTell}};

template <class T>
T** as(void* object) { return reinterpret_cast<T**>(object); }

v3_result V3_API frameQuery(void* p, const v3_tuid iid, void** obj) {
    Frame& f = self<Frame>(p);
    if (f.withLoop && v3_tuid_match(iid, v3_run_loop_iid)) {
        *obj = &f.loop;
        return V3_OK;
    }
    return noQuery(p, iid, obj);
}
v3_result V3_API resizeView(void* p, v3_plugin_view**, v3_view_rect* r) {
    self<Frame>(p).asked = *r;
    return V3_OK;
}
const v3_plugin_frame_cpp kFrame = {{frameQuery, one, one}, {resizeView}};

v3_result V3_API registerFd(void*, v3_event_handler**, int) { return V3_NOT_IMPLEMENTED; }
v3_result V3_API unregisterFd(void*, v3_event_handler**) { return V3_NOT_IMPLEMENTED; }
v3_result V3_API registerTimer(void* p, v3_timer_handler** t, uint64_t) {
    self<Frame::Loop>(p).timers.push_back(t);
    return V3_OK;
}
v3_result V3_API unregisterTimer(void* p, v3_timer_handler** t) {
    std::erase(self<Frame::Loop>(p).timers, t);
    return V3_OK;
}
const v3_run_loop_cpp kLoop = {{noQuery, one, one}, {registerFd, unregisterFd, registerTimer, unregisterTimer}};

struct HandlerTable : v3_funknown {
    v3_component_handler handler;
};
v3_result V3_API beginEdit(void* p, v3_param_id) {
    self<Handler>(p).trace += "begin ";
    return V3_OK;
}
v3_result V3_API performEdit(void* p, v3_param_id, double v) {
    char text[32];
    std::snprintf(text, sizeof text, "value %.3f ", v);
    self<Handler>(p).trace += text;
    return V3_OK;
}
v3_result V3_API endEdit(void* p, v3_param_id) {
    self<Handler>(p).trace += "end ";
    return V3_OK;
}
v3_result V3_API restart(void* p, int32_t flags) {
    self<Handler>(p).trace += "restart " + std::to_string(flags) + " ";
    return V3_OK;
}
const HandlerTable kHandler = {{noQuery, one, one}, {beginEdit, performEdit, endEdit, restart}};

}  // namespace

EventList::EventList() : table(&kEventList) {}
ParamChanges::ParamChanges() : table(&kChanges) {}
Stream::Stream() : table(&kStream) {}
Frame::Frame(bool withLoop) : table(&kFrame), loop{&kLoop, {}}, withLoop(withLoop) {}
Handler::Handler() : table(&kHandler) {}

void Frame::tick() {
    for (auto* t : std::vector<v3_timer_handler**>(loop.timers)) v3_cpp_obj(t)->on_timer(t);
}

void EventList::note(int32_t frame, bool on, int16_t channel, int16_t pitch, float velocity) {
    v3_event e{};
    e.sample_offset = frame;
    if (on) {
        e.type = V3_EVENT_NOTE_ON;
        e.note_on = v3_event_note_on{channel, pitch, 0.0f, velocity, 0, -1};
    } else {
        e.type = V3_EVENT_NOTE_OFF;
        e.note_off = v3_event_note_off{channel, pitch, velocity, -1, 0.0f};
    }
    events.push_back(e);
}

void ParamChanges::add(v3_param_id id, int32_t frame, double value) {
    auto it = std::find_if(queues.begin(), queues.end(), [id](const ParamQueue& q) { return q.id == id; });
    if (it == queues.end()) it = queues.insert(queues.end(), ParamQueue{&kQueue, id, {}});
    it->points.push_back({frame, value});
}

v3_plugin_factory_2** loadVst3(const char* bundle, const char* arch) {
#if defined(_WIN32)
    const std::string path = std::string(bundle) + "/Contents/" + arch + "/OrvoSwitch.vst3";
    HMODULE lib = LoadLibraryA(path.c_str());
    auto init = lib ? reinterpret_cast<bool (*)()>(reinterpret_cast<void*>(GetProcAddress(lib, "InitDll"))) : nullptr;
    auto get = lib ? reinterpret_cast<void*(V3_API*)()>(reinterpret_cast<void*>(GetProcAddress(lib, "GetPluginFactory")))
                   : nullptr;
    if (!init || !init()) return nullptr;
#else
    const std::string path = std::string(bundle) + "/Contents/" + arch + "/OrvoSwitch.so";
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto entry = lib ? reinterpret_cast<bool (*)(void*)>(dlsym(lib, "ModuleEntry")) : nullptr;
    auto get = lib ? reinterpret_cast<void* (*)()>(dlsym(lib, "GetPluginFactory")) : nullptr;
    if (!entry || !entry(lib)) return nullptr;
#endif
    return get ? static_cast<v3_plugin_factory_2**>(get()) : nullptr;
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

Plugin::Plugin(v3_plugin_factory_2** factory) {
    v3_tuid classId{};
    v3_class_info info{};
    auto* f1 = reinterpret_cast<v3_plugin_factory**>(factory);
    if (!factory || v3_cpp_obj(f1)->get_class_info(f1, 0, &info) != V3_OK) return;
    std::memcpy(classId, info.class_id, sizeof classId);
    void* obj = nullptr;
    if (v3_cpp_obj(f1)->create_instance(f1, classId, v3_component_iid, &obj) != V3_OK || !obj) return;
    component = as<v3_component>(obj);
    v3_cpp_obj_initialize(component, nullptr);
    v3_cpp_obj_query_interface(component, v3_audio_processor_iid, &processor);
    v3_cpp_obj_query_interface(component, v3_edit_controller_iid, &controller);
}

Plugin::~Plugin() {
    if (started_) {
        v3_cpp_obj(processor)->set_processing(processor, false);
        v3_cpp_obj(component)->set_active(component, false);
    }
    if (controller) v3_cpp_obj_unref(controller);
    if (processor) v3_cpp_obj_unref(processor);
    if (component) {
        v3_cpp_obj_terminate(component);
        v3_cpp_obj_unref(component);
    }
}

bool Plugin::start(double rate, int32_t maxBlock) {
    if (!processor) return false;
    v3_process_setup setup{V3_REALTIME, V3_SAMPLE_32, maxBlock, rate};
    if (v3_cpp_obj(processor)->setup_processing(processor, &setup) != V3_OK) return false;
    started_ = v3_cpp_obj(component)->set_active(component, true) == V3_OK;
    return started_ && v3_cpp_obj(processor)->set_processing(processor, true) == V3_OK;
}

v3_result Plugin::process(int32_t frames, EventList& events, ParamChanges& params) {
    left.assign(static_cast<size_t>(frames), 0.5f);  // not silence: the plug-in must write every frame
    right.assign(static_cast<size_t>(frames), 0.5f);
    float* channels[2] = {left.data(), right.data()};
    v3_audio_bus_buffers out{};
    out.num_channels = 2;
    out.channel_buffers_32 = channels;
    v3_process_data data{};
    data.process_mode = V3_REALTIME;
    data.symbolic_sample_size = V3_SAMPLE_32;
    data.nframes = frames;
    data.num_output_buses = 1;
    data.outputs = &out;
    data.input_events = as<v3_event_list>(&events);
    data.input_params = as<v3_param_changes>(&params);
    const v3_result r = v3_cpp_obj(processor)->process(processor, &data);
    silenceFlags = out.channel_silence_bitset;
    return r;
}

bool Plugin::save(Stream& s, Stream* controllerState) {
    bool ok = v3_cpp_obj(component)->get_state(component, as<v3_bstream>(&s)) == V3_OK;
    if (controllerState)
        ok &= v3_cpp_obj(controller)->get_state(controller, as<v3_bstream>(controllerState)) == V3_OK;
    return ok;
}
bool Plugin::load(Stream& s, Stream* controllerState) {
    s.at = 0;
    bool ok = v3_cpp_obj(component)->set_state(component, as<v3_bstream>(&s)) == V3_OK;
    if (!controllerState) return ok;
    s.at = 0;
    controllerState->at = 0;
    ok &= v3_cpp_obj(controller)->set_component_state(controller, as<v3_bstream>(&s)) == V3_OK;
    return ok && v3_cpp_obj(controller)->set_state(controller, as<v3_bstream>(controllerState)) == V3_OK;
}
v3_result Plugin::setValue(v3_param_id id, double v) {
    return v3_cpp_obj(controller)->set_parameter_normalised(controller, id, v);
}
double Plugin::value(v3_param_id id) { return v3_cpp_obj(controller)->get_parameter_normalised(controller, id); }

std::string Plugin::text(v3_param_id id, double v) {
    v3_str_128 s{};
    if (v3_cpp_obj(controller)->get_parameter_string_for_value(controller, id, v, s) != V3_OK) return "(refused)";
    std::string out;
    for (int i = 0; i < 128 && s[i]; ++i) out += static_cast<char>(s[i]);
    return out;
}

bool Plugin::fromText(v3_param_id id, const char* text, double* v) {
    int16_t s[128] = {};
    for (int i = 0; text[i] && i < 127; ++i) s[i] = text[i];
    return v3_cpp_obj(controller)->get_parameter_value_for_string(controller, id, s, v) == V3_OK;
}

// Notes as VST 3 notes; bends and the all-voices-off controller as the
// parameters the plug-in maps them to (every channel alike).
uint64_t vst3SessionHash(v3_plugin_factory_2** factory, uint32_t block, double rate) {
    Plugin plugin(factory);
    if (!plugin.start(rate, static_cast<int32_t>(block))) return 0;
    const auto& list = orvo::timed::session();
    orvo::timed::Hash hash;
    size_t next = 0;
    for (uint32_t done = 0; done < orvo::timed::kFrames;) {
        const uint32_t frames = std::min(block, orvo::timed::kFrames - done);
        EventList events;
        ParamChanges params;
        for (; next < list.size() && list[next].frame < done + frames; ++next) {
            const auto& e = list[next];
            const int32_t at = static_cast<int32_t>(e.frame - done);
            const uint8_t kind = e.midi[0] & 0xF0, channel = e.midi[0] & 0x0F;
            if (e.kind == orvo::timed::Event::kParam)
                params.add(static_cast<v3_param_id>(e.index), at, e.value);
            else if (kind == 0x90 || kind == 0x80)
                events.note(at, kind == 0x90 && e.midi[2] != 0, channel, e.midi[1], e.midi[2] / 127.0f);
            else if (kind == 0xE0)
                params.add(12, at, ((e.midi[2] << 7) | e.midi[1]) / 16383.0);
            else if (kind == 0xB0 && e.midi[1] == 126)
                params.add(13, at, e.midi[2] / 127.0);
        }
        plugin.process(static_cast<int32_t>(frames), events, params);
        hash.add(plugin.left.data(), plugin.right.data(), frames);
        done += frames;
    }
    return hash.h;
}

uint32_t bitsOf(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

}  // namespace orvo::test
