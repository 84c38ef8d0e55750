// The instrument as an LV2 plug-in: orvo::Engine behind the descriptor's
// entry points, with MIDI applied at the frame it carries and a control
// port's change applied at the start of the block that brings it. That is
// what the VST 2 plug-in does for a host that splits its blocks at every
// event, so both give the same bits for the same session, whatever block
// length this host picks.
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <new>

#include "Engine.h"
#include "Features.h"
#include "Ports.h"

namespace {

using namespace orvo;
using namespace orvo::lv2;

// Where an unconnected output is rendered, so the voices run on exactly as
// if it were connected; blocks longer than this go through it in pieces,
// which the engine renders to the same bits.
constexpr int32_t kScratchFrames = 256;

uint32_t bitsOf(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

struct Instance {
    Engine engine;
    float rate = kDefaultSampleRate;  // as the host gave it; the engine refuses unusable ones itself
    LV2_URID midiEvent = 0;
    LV2_URID frameTime = 0;
    const LV2_Atom_Sequence* events = nullptr;
    float* out[kNumOutputs] = {};
    const float* control[kNumParams] = {};
    // The bits of the value each parameter was last set to: an unchanged
    // port sends nothing, as a VST 2 host that does not call setParameter.
    uint32_t applied[kNumParams] = {};
    float scratch[kNumOutputs][kScratchFrames] = {};

    Instance() {
        for (int32_t i = 0; i < kNumParams; ++i) applied[i] = bitsOf(engine.parameter(i));
    }

    // Changed ports in index order, each as one setParameter at the rate
    // the host instantiated us with.
    void applyControls() {
        for (int32_t i = 0; i < kNumParams; ++i) {
            if (!control[i]) continue;
            const float v = *control[i];
            if (bitsOf(v) == applied[i]) continue;
            applied[i] = bitsOf(v);
            engine.setParameter(i, v, rate);
        }
    }

    // Frames from..to of this block, into the host's buffers or the scratch.
    void render(uint32_t from, uint32_t to) {
        while (from < to) {
            uint32_t n = to - from;
            if (!out[0] || !out[1]) n = n < kScratchFrames ? n : kScratchFrames;
            float* left = out[0] ? out[0] + from : scratch[0];
            float* right = out[1] ? out[1] + from : scratch[1];
            engine.renderReplacing(left, right, static_cast<int32_t>(n));
            from += n;
        }
    }

    // One MIDI message as the engine takes it: a status byte below the
    // system range and the data bytes that status needs.
    void midi(const uint8_t* data, uint32_t size) {
        if (size < 1) return;
        const uint8_t status = data[0];
        if (status < 0x80 || status >= 0xF0) return;
        const uint8_t kind = status & 0xF0;
        const uint32_t needed = (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
        if (size < needed) return;
        engine.midi(status, data[1], needed == 3 ? data[2] : 0, 0);
    }

    void run(uint32_t frames) {
        applyControls();
        uint32_t pos = 0;
        // A sequence in any other time unit (beats) has no frame to go by:
        // its events land where the rendering stands.
        const bool inFrames = events && (events->body.unit == 0 || events->body.unit == frameTime);
        if (events) {
            LV2_ATOM_SEQUENCE_FOREACH(events, ev) {
                if (ev->body.type != midiEvent) continue;
                // Early or late stamps land at the current position or the
                // block's end: never backwards, never past the buffer.
                uint32_t at = pos;
                if (inFrames && ev->time.frames > static_cast<int64_t>(pos))
                    at = ev->time.frames < static_cast<int64_t>(frames) ? static_cast<uint32_t>(ev->time.frames) : frames;
                render(pos, at);
                pos = at;
                midi(static_cast<const uint8_t*>(LV2_ATOM_BODY_CONST(&ev->body)), ev->body.size);
            }
        }
        render(pos, frames);
    }
};

// Thread: instantiation.
LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    const Features f(features);
    if (!f.map) {
        f.error("Orvo Switch: the host offers no urid:map; the instrument cannot read MIDI without it\n");
        return nullptr;
    }
    auto* self = new (std::nothrow) Instance;
    if (!self) return nullptr;
    self->rate = static_cast<float>(rate);
    self->engine.setSampleRate(self->rate);
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

// Thread: instantiation. A fresh start, as a new instance that got the same
// parameter changes: every voice silent, the values the host set kept and
// converted at its rate again (reset converts at the default rate).
void activate(LV2_Handle handle) {
    auto* self = static_cast<Instance*>(handle);
    self->engine.restart(self->rate);
}

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
