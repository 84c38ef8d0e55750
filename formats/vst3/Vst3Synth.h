// The instrument as a VST 3 plug-in: one object that is at once the
// component, its audio processor and its edit controller, so the host, the
// editor and the audio thread all reach the same instrument object. One
// event bus of notes in, one stereo bus out, the twelve values as
// parameters, two hidden ones that carry MIDI pitch bend and the
// all-voices-off controller, which VST 3 hosts only send as parameters, and
// the program-change parameter over the 32 programs, whose list the root
// unit offers: the factory library's presets, by name.
// Only this folder sees VST 3's types.
//
// Each entry point says which thread the host calls it on: main (the
// host's UI thread), audio, or any.
#pragma once

#include <atomic>
#include <cstdint>

#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/edit_controller.h>
#include <travesty/unit.h>

#include "Com.h"
#include "Instrument.h"

namespace orvo::vst3 {

// The plug-in's class, as hosts save it in their projects (Entry.cc).
extern const v3_tuid kClassId;

// Parameter ids: 0..11 the instrument's values, then the MIDI carriers,
// then the program change.
inline constexpr v3_param_id kBendId = kNumParams;
inline constexpr v3_param_id kAllOffId = kNumParams + 1;
inline constexpr v3_param_id kProgramId = kNumParams + 2;
inline constexpr int32_t kParamCount = kNumParams + 3;
// The one program list, the root unit's (unit 0).
inline constexpr int32_t kProgramListId = 1;

class Vst3Synth {
public:
    // main: holds one reference, the creator's.
    Vst3Synth();
    // any
    v3_result query(const v3_tuid iid, void** obj);
    uint32_t ref() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    uint32_t unref();

    // main
    v3_result setRate(double rate);
    v3_result setActive(bool active);
    v3_result saveState(v3_bstream** stream) const;
    v3_result loadState(v3_bstream** stream);
    // The controller's own state: which program the values belong to.
    v3_result saveProgramNumber(v3_bstream** stream) const;
    v3_result loadProgramNumber(v3_bstream** stream);
    v3_result setHandler(v3_component_handler** handler);
    v3_component_handler** handler() const { return handler_; }
    // Makes `program` current and has the host read the values again.
    void selectProgram(int32_t program);
    // Tells the host the values moved if a block selected a program since
    // the last call: the audio thread may not call the host's handler.
    void tellHost();

    // audio
    v3_result process(v3_process_data* data);

    // any
    Instrument& instrument() { return instrument_; }

private:
    ~Vst3Synth();

    std::atomic<uint32_t> refs_{1};
    Face<Vst3Synth> component_, processor_, controller_, midiMapping_, requirements_, unitInfo_;
    double rate_ = kDefaultSampleRate;  // main: the rate setupProcessing gave
    v3_component_handler** handler_ = nullptr;  // main
    std::atomic<bool> programMoved_{false};     // set by any, taken by main
    Instrument instrument_;
};

// The interface tables, one file each.
extern const v3_component_cpp kComponentTable;                              // Vst3Component.cc
extern const v3_audio_processor_cpp kProcessorTable;                        // Vst3Component.cc
extern const v3_process_context_requirements_cpp kRequirementsTable;        // Vst3Component.cc
extern const v3_edit_controller_cpp kControllerTable;                       // Vst3Controller.cc
extern const v3_midi_mapping_cpp kMidiMappingTable;                         // Vst3Controller.cc
extern const v3_unit_information_cpp kUnitInfoTable;                        // Vst3Controller.cc

// The funknown entries every face shares. any
v3_result V3_API queryFace(void* self, const v3_tuid iid, void** obj);
uint32_t V3_API refFace(void* self);
uint32_t V3_API unrefFace(void* self);
// The plug-in base the component and controller faces share. main
v3_result V3_API initializeFace(void* self, v3_funknown** context);
v3_result V3_API terminateFace(void* self);

}  // namespace orvo::vst3
