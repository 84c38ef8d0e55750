// The instrument as an LV2 plug-in: the instrument object behind the
// descriptor's entry points. A control port's change applies at the start
// of the block that brings it and MIDI at the frame it carries, both through
// the instrument's one block splitter, so the sound does not depend on the
// block length the host picks. Every value converts at the host's rate.
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <new>

#include "Features.h"
#include "Instrument.h"
#include "Ports.h"

namespace {

using namespace orvo;
using namespace orvo::lv2;

uint32_t bitsOf(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

struct Instance;

// One run's events: the changed control ports at frame 0, in index order,
// then the MIDI events of the sequence at their frames.
class RunEvents final : public EventSource {
public:
    RunEvents(Instance& self, uint32_t frames);
    bool next(Event& out) override;

private:
    bool midiEvent(const LV2_Atom_Event* ev, Event& out) const;

    Instance& self_;
    uint32_t frames_;
    int32_t control_ = 0;
    const LV2_Atom_Event* ev_ = nullptr;
    bool inFrames_ = false;
};

struct Instance {
    Instrument instrument;
    LV2_URID midiEvent = 0;
    LV2_URID frameTime = 0;
    const LV2_Atom_Sequence* events = nullptr;
    float* out[kNumOutputs] = {};
    const float* control[kNumParams] = {};
    // The bits of the value each parameter was last set to: an unchanged
    // port sends nothing.
    uint32_t applied[kNumParams] = {};

    Instance() {
        for (int32_t i = 0; i < kNumParams; ++i) applied[i] = bitsOf(instrument.value(i));
    }

    void run(uint32_t frames) {
        RunEvents runEvents(*this, frames);
        instrument.process(out[0], out[1], frames, runEvents);
    }
};

RunEvents::RunEvents(Instance& self, uint32_t frames) : self_(self), frames_(frames) {
    if (self.events) {
        ev_ = lv2_atom_sequence_begin(&self.events->body);
        // A sequence in any other time unit (beats) has no frame to go by:
        // its events land where the rendering stands.
        inFrames_ = self.events->body.unit == 0 || self.events->body.unit == self.frameTime;
    }
}

bool RunEvents::next(Event& out) {
    for (; control_ < kNumParams; ++control_) {
        const float* port = self_.control[control_];
        if (!port || bitsOf(*port) == self_.applied[control_]) continue;
        self_.applied[control_] = bitsOf(*port);
        out = Event{};
        out.kind = Event::Kind::kValue;
        out.index = control_++;
        out.value = *port;
        return true;
    }
    if (!ev_) return false;
    while (!lv2_atom_sequence_is_end(&self_.events->body, self_.events->atom.size, ev_)) {
        const LV2_Atom_Event* ev = ev_;
        ev_ = lv2_atom_sequence_next(ev_);
        if (midiEvent(ev, out)) return true;
    }
    return false;
}

// One MIDI message as the instrument takes it: a status byte below the
// system range and the data bytes that status needs. Early or late stamps
// land at the current position or the block's end.
bool RunEvents::midiEvent(const LV2_Atom_Event* ev, Event& out) const {
    if (ev->body.type != self_.midiEvent) return false;
    const auto* data = static_cast<const uint8_t*>(LV2_ATOM_BODY_CONST(&ev->body));
    const uint32_t size = ev->body.size;
    if (size < 1) return false;
    const uint8_t status = data[0];
    if (status < 0x80 || status >= 0xF0) return false;
    const uint8_t kind = status & 0xF0;
    const uint32_t needed = (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
    if (size < needed) return false;
    out = Event{};
    out.frame = 0;
    if (inFrames_ && ev->time.frames > 0)
        out.frame = ev->time.frames < static_cast<int64_t>(frames_) ? static_cast<uint32_t>(ev->time.frames) : frames_;
    out.midi[0] = status;
    out.midi[1] = data[1];
    out.midi[2] = needed == 3 ? data[2] : 0;
    return true;
}

// Thread: instantiation.
LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    const Features f(features);
    if (!f.map) {
        f.error("Orvo Switch: the host offers no urid:map; the instrument cannot read MIDI without it\n");
        return nullptr;
    }
    auto* self = new (std::nothrow) Instance;
    if (!self) return nullptr;
    // An unusable rate leaves the default one; the instrument refuses it.
    self->instrument.activate(rate);
    self->midiEvent = f.map->map(f.map->handle, LV2_MIDI__MidiEvent);
    self->frameTime = f.map->map(f.map->handle, LV2_ATOM__frameTime);
    return self;
}

// Thread: audio (between runs, never during one).
void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    auto* self = static_cast<Instance*>(handle);
    if (port == kPortEvents)
        self->events = static_cast<const LV2_Atom_Sequence*>(data);
    else if (port == kPortLeft || port == kPortRight)
        self->out[port - kPortLeft] = static_cast<float*>(data);
    else if (isControlPort(port))
        self->control[port - kPortFirstControl] = static_cast<const float*>(data);
}

// Thread: instantiation. A fresh start: every voice silent, the values kept.
void activate(LV2_Handle handle) { static_cast<Instance*>(handle)->instrument.reset(); }

// Thread: audio. No allocation, lock, system call or logging in here.
void run(LV2_Handle handle, uint32_t frames) { static_cast<Instance*>(handle)->run(frames); }

// Thread: instantiation.
void cleanup(LV2_Handle handle) { delete static_cast<Instance*>(handle); }

// Thread: discovery. No extension interfaces.
const void* extensionData(const char*) { return nullptr; }

const LV2_Descriptor kDescriptor = {
    kPluginUri, instantiate, connectPort, activate, run, nullptr, cleanup, extensionData,
};

}  // namespace

// Thread: discovery.
extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
