// The process call: the host's note events and parameter points merged into
// one stream in frame order, which the instrument applies each at its frame.
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "Round.h"
#include "Text.h"
#include "Vst3Synth.h"

namespace orvo::vst3 {
namespace {

// 0..1 as a MIDI data value of `top` steps; what lies outside is held inside.
int32_t toSteps(double value, int32_t top) {
    if (!(value > 0)) return 0;
    return std::min(roundToInt(std::min(value, 1.0) * top), top);
}

uint32_t frameOf(int32_t offset) { return offset > 0 ? static_cast<uint32_t>(offset) : 0; }

// One block's notes and parameter points, handed out in frame order. At
// one frame the parameter changes, the program change included, apply
// before the notes, so a note starting there hears them; among them the
// program change goes first, so a value the host sets at that frame
// stands over the program's. The points of a queue are steps, each held
// from its frame on: the instrument has no ramps.
//
// A program change is no event the instrument plays: it goes out as an
// event that changes nothing (parameter -1), so rendering reaches its
// frame, and the program is selected at the next pull, before anything
// else at that frame applies.
class Vst3Events final : public EventSource {
public:
    Vst3Events(Instrument& instrument, v3_event_list** events, v3_param_changes** changes)
        : instrument_(instrument), events_(events) {
        eventCount_ = events ? static_cast<int32_t>(v3_cpp_obj(events)->get_event_count(events)) : 0;
        const int32_t queues = changes ? v3_cpp_obj(changes)->get_param_count(changes) : 0;
        for (int32_t i = 0; i < queues && count_ < kMaxQueues; ++i) {
            v3_param_value_queue** q = v3_cpp_obj(changes)->get_param_data(changes, i);
            if (!q) continue;
            const v3_param_id id = v3_cpp_obj(q)->get_param_id(q);
            if (id >= static_cast<v3_param_id>(kParamCount)) continue;
            Queue& queue = queues_[count_];
            queue = Queue{q, id, v3_cpp_obj(q)->get_point_count(q), 0, 0, 0.0, false};
            queue.live = peek(queue);
            count_ += queue.live;
        }
        fetchNote();
    }

    bool hasEvents() const { return eventCount_ > 0; }
    bool selectedProgram() const { return selected_; }

    bool next(Event& out) override {
        if (program_ >= 0) {
            instrument_.selectProgram(program_);
            program_ = -1;
            selected_ = true;
        }
        Queue* first = nullptr;
        for (int32_t i = 0; i < count_; ++i) {
            const Queue& q = queues_[i];
            if (q.live && (!first || q.frame < first->frame || (q.frame == first->frame && q.id == kProgramId)))
                first = &queues_[i];
        }
        if (first && (!haveNote_ || first->frame <= note_.frame)) {  // at one frame, parameters before notes
            out = fromPoint(*first);
            if (first->id == kProgramId) program_ = toSteps(first->value, kNumPrograms - 1);
            ++first->at;
            first->live = peek(*first);
            return true;
        }
        if (!haveNote_) return false;
        out = note_;
        fetchNote();
        return true;
    }

private:
    struct Queue {
        v3_param_value_queue** q;
        v3_param_id id;
        int32_t points, at;
        uint32_t frame;
        double value;
        bool live;  // a point at `at` waits
    };
    static constexpr int32_t kMaxQueues = kParamCount;

    // Reads the queue's point `at`; false when there is none left.
    static bool peek(Queue& queue) {
        int32_t offset = 0;
        while (queue.at < queue.points) {
            if (v3_cpp_obj(queue.q)->get_point(queue.q, queue.at, &offset, &queue.value) == V3_OK) {
                queue.frame = frameOf(offset);
                return true;
            }
            ++queue.at;
        }
        return false;
    }

    static Event fromPoint(const Queue& queue) {
        Event e;
        e.frame = queue.frame;
        if (queue.id == kBendId) {
            const int32_t bend = toSteps(queue.value, 16383);
            e.midi[0] = 0xE0;
            e.midi[1] = static_cast<uint8_t>(bend & 0x7F);
            e.midi[2] = static_cast<uint8_t>(bend >> 7);
        } else if (queue.id == kAllOffId) {
            e.midi[0] = 0xB0;
            e.midi[1] = 126;
            e.midi[2] = static_cast<uint8_t>(toSteps(queue.value, 127));
        } else {
            e.kind = Event::Kind::kValue;
            e.index = queue.id == kProgramId ? -1 : static_cast<int32_t>(queue.id);
            e.value = valueFromHost(queue.value);
        }
        return e;
    }

    // The next note of the list as MIDI; other events are nothing the
    // instrument plays.
    void fetchNote() {
        haveNote_ = false;
        v3_event ev;
        while (!haveNote_ && noteAt_ < eventCount_) {
            if (v3_cpp_obj(events_)->get_event(events_, noteAt_++, &ev) != V3_OK) continue;
            note_ = Event{};
            note_.frame = frameOf(ev.sample_offset);
            if (ev.type == V3_EVENT_NOTE_ON && ev.note_on.pitch >= 0 && ev.note_on.pitch < 128) {
                note_.midi[0] = static_cast<uint8_t>(0x90 | (ev.note_on.channel & 0x0F));
                note_.midi[1] = static_cast<uint8_t>(ev.note_on.pitch);
                note_.midi[2] = static_cast<uint8_t>(toSteps(ev.note_on.velocity, 127));  // 0: a note-off, as in MIDI
                haveNote_ = true;
            } else if (ev.type == V3_EVENT_NOTE_OFF && ev.note_off.pitch >= 0 && ev.note_off.pitch < 128) {
                note_.midi[0] = static_cast<uint8_t>(0x80 | (ev.note_off.channel & 0x0F));
                note_.midi[1] = static_cast<uint8_t>(ev.note_off.pitch);
                note_.midi[2] = static_cast<uint8_t>(toSteps(ev.note_off.velocity, 127));
                haveNote_ = true;
            }
        }
    }

    Instrument& instrument_;
    int32_t program_ = -1;  // a program change reached, to select at the next pull
    bool selected_ = false;
    v3_event_list** events_;
    int32_t eventCount_ = 0, noteAt_ = 0;
    Event note_;
    bool haveNote_ = false;
    Queue queues_[kMaxQueues];
    int32_t count_ = 0;
};

}  // namespace

// The instrument applies every event at its frame (Instrument::process).
v3_result Vst3Synth::process(v3_process_data* data) {
    if (!data || data->nframes < 0) return V3_INVALID_ARG;
    if (data->symbolic_sample_size != V3_SAMPLE_32) return V3_INVALID_ARG;
    float* left = nullptr;
    float* right = nullptr;
    v3_audio_bus_buffers* out = data->num_output_buses >= 1 ? data->outputs : nullptr;
    if (out && out->num_channels >= 2 && out->channel_buffers_32) {
        left = out->channel_buffers_32[0];
        right = out->channel_buffers_32[1];
        if (!left || !right) left = right = nullptr;
    }
    Vst3Events events(instrument_, data->input_events, data->input_params);
    // Asleep and no event that could wake it: the block is silence, which
    // the host may skip mixing.
    const bool quiet = instrument_.asleep() && !events.hasEvents();
    instrument_.process(left, right, static_cast<uint32_t>(data->nframes), events);
    if (events.selectedProgram()) programMoved_.store(true, std::memory_order_relaxed);  // told from the main thread
    if (left) out->channel_silence_bitset = quiet ? 3 : 0;
    return V3_OK;
}

}  // namespace orvo::vst3
