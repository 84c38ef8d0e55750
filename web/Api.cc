// The instrument as a WebAssembly module sees it: plain C functions over
// numbers and pointers into the module's memory, so JavaScript (an
// AudioWorklet, the page, Node) needs no generated glue. Everything a
// block touches is made by orvo_new: orvo_process allocates nothing, as an
// audio thread requires.
#include <cstdint>
#include <cstring>
#include <new>

#include "FactoryLibrary.h"
#include "Instrument.h"
#include "ParamTable.h"

#define ORVO_EXPORT extern "C" __attribute__((used, visibility("default")))

namespace {

// The quantum of Web Audio is 128 frames; the Node renderer uses larger
// blocks, which costs nothing in sound since events still land at their frame.
constexpr uint32_t kMaxFrames = 4096;
constexpr uint32_t kMaxEvents = 1024;

// As JavaScript writes it: 12 bytes, little-endian like wasm itself.
struct WebEvent {
    uint32_t frame;
    uint8_t kind;  // 0: MIDI in bytes, 1: value `value` for parameter bytes[0]
    uint8_t bytes[3];
    float value;
};
static_assert(sizeof(WebEvent) == 12);

struct Voice {
    orvo::Instrument instrument;
    float left[kMaxFrames];
    float right[kMaxFrames];
    WebEvent events[kMaxEvents];
    char text[64];
};

class ListSource final : public orvo::EventSource {
public:
    ListSource(const WebEvent* list, uint32_t count) : list_(list), count_(count) {}
    bool next(orvo::Event& event) override {
        if (at_ == count_) return false;
        const WebEvent& e = list_[at_++];
        event.frame = e.frame;
        if (e.kind == 1) {
            event.kind = orvo::Event::Kind::kValue;
            event.index = e.bytes[0];
            event.value = e.value;
        } else {
            event.kind = orvo::Event::Kind::kMidi;
            std::memcpy(event.midi, e.bytes, 3);
        }
        return true;
    }

private:
    const WebEvent* list_;
    uint32_t count_;
    uint32_t at_ = 0;
};

}  // namespace

// For the editor form (web/editor/EditorApi.cc), which edits this instrument.
orvo::Instrument& voiceInstrument(void* voice) { return static_cast<Voice*>(voice)->instrument; }

// The rate first, then the current program selected at it, as orvo-render
// sets up the plug-in: the same sound at every rate. Null for a rate the
// instrument refuses.
ORVO_EXPORT Voice* orvo_new(double rate) {
    auto* voice = new (std::nothrow) Voice();
    if (!voice) return nullptr;
    if (!voice->instrument.activate(rate)) {
        delete voice;
        return nullptr;
    }
    voice->instrument.selectProgram(voice->instrument.program());
    return voice;
}

ORVO_EXPORT void orvo_delete(Voice* voice) { delete voice; }

ORVO_EXPORT uint32_t orvo_max_frames() { return kMaxFrames; }
ORVO_EXPORT uint32_t orvo_max_events() { return kMaxEvents; }
ORVO_EXPORT float* orvo_left(Voice* voice) { return voice->left; }
ORVO_EXPORT float* orvo_right(Voice* voice) { return voice->right; }
ORVO_EXPORT WebEvent* orvo_events(Voice* voice) { return voice->events; }

// `frames` into left and right with the first `count` events of the list,
// each applied at its frame.
ORVO_EXPORT void orvo_process(Voice* voice, uint32_t frames, uint32_t count) {
    if (frames > kMaxFrames) frames = kMaxFrames;
    if (count > kMaxEvents) count = kMaxEvents;
    ListSource source(voice->events, count);
    voice->instrument.process(voice->left, voice->right, frames, source);
}

ORVO_EXPORT int orvo_asleep(Voice* voice) { return voice->instrument.asleep(); }

// --- values and programs, for the page's controls ---

ORVO_EXPORT int orvo_param_count() { return orvo::kNumParams; }
ORVO_EXPORT const char* orvo_param_name(int index) { return orvo::isParamIndex(index) ? orvo::kParams[index].name : ""; }
ORVO_EXPORT void orvo_set_value(Voice* voice, int index, float value) { voice->instrument.setValue(index, value); }
ORVO_EXPORT float orvo_value(Voice* voice, int index) { return voice->instrument.value(index); }
ORVO_EXPORT const char* orvo_display(Voice* voice, int index) {
    voice->instrument.displayText(index, voice->text, sizeof voice->text);
    return voice->text;
}

ORVO_EXPORT int orvo_program_count() { return orvo::kNumPrograms; }
ORVO_EXPORT int orvo_program(Voice* voice) { return voice->instrument.program(); }
ORVO_EXPORT void orvo_select_program(Voice* voice, int program) { voice->instrument.selectProgram(program); }
ORVO_EXPORT const char* orvo_program_name(Voice* voice, int program) {
    if (!voice->instrument.programName(program, voice->text, sizeof voice->text)) voice->text[0] = '\0';
    return voice->text;
}

ORVO_EXPORT int orvo_preset_count() { return static_cast<int>(orvo::factoryLibrary().size()); }
ORVO_EXPORT const char* orvo_preset_name(int preset) {
    const auto library = orvo::factoryLibrary();
    return preset >= 0 && static_cast<size_t>(preset) < library.size() ? library[preset].name : "";
}
ORVO_EXPORT const char* orvo_preset_category(int preset) {
    const auto library = orvo::factoryLibrary();
    return preset >= 0 && static_cast<size_t>(preset) < library.size() ? library[preset].category : "";
}

// A preset goes into the current program, name and values, in the order a
// program change applies them, as loading a program file in a host does.
ORVO_EXPORT void orvo_apply_preset(Voice* voice, int preset) {
    const auto library = orvo::factoryLibrary();
    if (preset < 0 || static_cast<size_t>(preset) >= library.size()) return;
    orvo::Instrument& instrument = voice->instrument;
    instrument.setProgramName(instrument.program(), library[preset].name);
    instrument.setValues(library[preset].values);
}
