// The object's life, its faces, activation at the host's rate and the saved
// state.
#include "Vst3Synth.h"

#include <cstring>

#include "FactoryLibrary.h"

namespace orvo::vst3 {

Vst3Synth::Vst3Synth()
    : component_{&kComponentTable, this},
      processor_{&kProcessorTable, this},
      controller_{&kControllerTable, this},
      midiMapping_{&kMidiMappingTable, this},
      requirements_{&kRequirementsTable, this},
      unitInfo_{&kUnitInfoTable, this} {
    // The programs are the factory library's, so hosts offer its sounds by
    // name. A new instance still plays the defaults, as in every format,
    // until a program is picked.
    const auto library = factoryLibrary();
    for (size_t p = 0; p < library.size(); ++p)
        instrument_.storeProgram(static_cast<int32_t>(p), library[p].values, library[p].name);
}

Vst3Synth::~Vst3Synth() { setHandler(nullptr); }

v3_result Vst3Synth::query(const v3_tuid iid, void** obj) {
    if (!obj) return V3_INVALID_ARG;
    void* face = nullptr;
    if (sameId(iid, v3_funknown_iid) || sameId(iid, v3_plugin_base_iid) || sameId(iid, v3_component_iid))
        face = &component_;
    else if (sameId(iid, v3_audio_processor_iid))
        face = &processor_;
    else if (sameId(iid, v3_edit_controller_iid))
        face = &controller_;
    else if (sameId(iid, v3_midi_mapping_iid))
        face = &midiMapping_;
    else if (sameId(iid, v3_process_context_requirements_iid))
        face = &requirements_;
    else if (sameId(iid, v3_unit_information_iid))
        face = &unitInfo_;
    *obj = face;
    if (!face) return V3_NO_INTERFACE;
    ref();
    return V3_OK;
}

uint32_t Vst3Synth::unref() {
    const uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

v3_result V3_API queryFace(void* self, const v3_tuid iid, void** obj) { return Face<Vst3Synth>::of(self).query(iid, obj); }
uint32_t V3_API refFace(void* self) { return Face<Vst3Synth>::of(self).ref(); }
uint32_t V3_API unrefFace(void* self) { return Face<Vst3Synth>::of(self).unref(); }

// Every value converts at the host's rate, whether it was set (or a state
// loaded) before the rate came or after: the rate is applied here and again
// on activation.
v3_result Vst3Synth::setRate(double rate) {
    if (!instrument_.activate(rate)) return V3_INVALID_ARG;
    rate_ = rate;
    return V3_OK;
}

// Activation starts the voices fresh, as a host expects after a pause.
v3_result Vst3Synth::setActive(bool active) {
    if (active) {
        instrument_.activate(rate_);
        instrument_.reset();
    }
    return V3_OK;
}

v3_result Vst3Synth::setHandler(v3_component_handler** handler) {
    if (handler) v3_cpp_obj_ref(handler);
    if (handler_) v3_cpp_obj_unref(handler_);
    handler_ = handler;
    return V3_OK;
}

void Vst3Synth::selectProgram(int32_t program) {
    instrument_.selectProgram(program);
    programMoved_.store(true, std::memory_order_relaxed);
    tellHost();
}

void Vst3Synth::tellHost() {
    if (programMoved_.exchange(false, std::memory_order_relaxed) && handler_)
        v3_cpp_obj(handler_)->restart_component(handler_, V3_RESTART_PARAM_VALUES_CHANGED);
}

namespace {

// The instrument's own state, read through whole: anything longer than this
// is not one of ours.
constexpr int32_t kStateLimit = 4096;

// "OPRG" and the program number as a little-endian word. Older builds keep
// no controller state and take any as nothing, so the component's state
// stays the one the values travel in, readable by every build.
constexpr char kProgramTag[] = "OPRG";
constexpr int32_t kProgramStateSize = 8;

v3_result writeAll(v3_bstream** stream, unsigned char* bytes, int32_t size) {
    for (int32_t done = 0; done < size;) {
        int32_t n = 0;
        if (v3_cpp_obj(stream)->write(stream, bytes + done, size - done, &n) != V3_OK ||
            n <= 0 || n > size - done)
            return V3_INTERNAL_ERR;
        done += n;
    }
    return V3_OK;
}

}  // namespace

v3_result Vst3Synth::saveState(v3_bstream** stream) const {
    if (!stream) return V3_INVALID_ARG;
    unsigned char bytes[kStateSize];
    instrument_.saveState(bytes);
    return writeAll(stream, bytes, static_cast<int32_t>(kStateSize));
}

// Read whole and checked before anything is applied: a refused stream
// leaves the instrument exactly as it was.
v3_result Vst3Synth::loadState(v3_bstream** stream) {
    if (!stream) return V3_INVALID_ARG;
    unsigned char bytes[kStateLimit + 1];
    int32_t size = 0;
    for (;;) {
        int32_t n = 0;
        // Hosts end a stream with a short read, a zero read or a refusal.
        if (v3_cpp_obj(stream)->read(stream, bytes + size, static_cast<int32_t>(sizeof bytes) - size, &n) != V3_OK ||
            n <= 0)
            break;
        if (n > static_cast<int32_t>(sizeof bytes) - size) return V3_INTERNAL_ERR;
        size += n;
        if (size > kStateLimit) return V3_INVALID_ARG;
    }
    return instrument_.loadState(bytes, static_cast<size_t>(size)) ? V3_OK : V3_INVALID_ARG;
}

v3_result Vst3Synth::saveProgramNumber(v3_bstream** stream) const {
    if (!stream) return V3_INVALID_ARG;
    unsigned char bytes[kProgramStateSize];
    std::memcpy(bytes, kProgramTag, 4);
    const uint32_t program = static_cast<uint32_t>(instrument_.program());
    for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<unsigned char>(program >> (8 * i));
    return writeAll(stream, bytes, kProgramStateSize);
}

// After the component's state (hosts restore the controller's second): the
// values loaded stay, now as the named program's, so the host shows the
// program the project was saved with. Anything else is no program number
// and leaves things as they are.
v3_result Vst3Synth::loadProgramNumber(v3_bstream** stream) {
    if (!stream) return V3_INVALID_ARG;
    unsigned char bytes[kProgramStateSize + 1];
    int32_t size = 0;
    for (int32_t n = 1; n > 0 && size < static_cast<int32_t>(sizeof bytes);) {
        if (v3_cpp_obj(stream)->read(stream, bytes + size, static_cast<int32_t>(sizeof bytes) - size, &n) != V3_OK ||
            n > static_cast<int32_t>(sizeof bytes) - size)
            break;
        size += n > 0 ? n : 0;
    }
    if (size != kProgramStateSize || std::memcmp(bytes, kProgramTag, 4) != 0) return V3_OK;
    uint32_t program = 0;
    for (int i = 0; i < 4; ++i) program |= static_cast<uint32_t>(bytes[4 + i]) << (8 * i);
    if (program >= static_cast<uint32_t>(kNumPrograms)) return V3_OK;
    float values[kNumParams];
    for (int32_t i = 0; i < kNumParams; ++i) values[i] = instrument_.value(i);
    char name[kProgramNameSize];
    instrument_.programName(static_cast<int32_t>(program), name, sizeof name);
    instrument_.storeProgram(static_cast<int32_t>(program), values, name);
    if (static_cast<int32_t>(program) != instrument_.program()) selectProgram(static_cast<int32_t>(program));
    return V3_OK;
}

}  // namespace orvo::vst3
