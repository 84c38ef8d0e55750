// The instrument every front end holds: the twelve current values, the
// program bank, the rate, the conversion of values into engine quantities,
// the saved state, and the one place where a block is split at its events.
// The render core (dsp/) below it is single-threaded; everything shared
// between threads lives here, as relaxed atomics.
//
// Threads: "any" may run on any thread at any time; "audio" calls never
// overlap each other; "main" is the thread that creates, activates and
// destroys the instrument and handles program requests (a host's UI thread).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "Conversion.h"
#include "Engine.h"
#include "Identity.h"
#include "ParamTable.h"

namespace orvo {

// One event of a block, at a frame of it.
struct Event {
    enum class Kind : uint8_t { kMidi, kValue };
    uint32_t frame = 0;
    Kind kind = Kind::kMidi;
    uint8_t midi[3] = {};  // kMidi: status and two data bytes, passed as they come
    int32_t index = 0;     // kValue: parameter 0..11
    float value = 0.0f;    // kValue
};

// A block's events in the order they apply, pulled one at a time so a
// format can hand over its host's list without copying it. Frames should
// not decrease; one that does applies where rendering stands.
class EventSource {
public:
    virtual bool next(Event& event) = 0;

protected:
    ~EventSource() = default;
};

// The saved state: "ORVO", then little-endian uint32 words: the format
// version, the number of values, and each value's float bits in parameter
// order. Version 1 holds the twelve values: all the instrument needs to
// sound the same, since the rate comes from the host.
inline constexpr size_t kStateSize = 12 + 4 * kNumParams;

class Instrument {
public:
    // main. Default values, programs "init1".."init32", program 0 selected
    // at the default rate.
    Instrument();
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // --- values (any) ---
    // Stores a current value (index 0..11) in the current values and the
    // current program, and converts what it drives at the rate in force.
    // Other indexes are ignored.
    void setValue(int32_t index, float value) { setValueAt(index, value, rate()); }
    // All twelve, in the order a program change applies them: a loaded
    // state or preset sounds as the program it came from.
    void setValues(std::span<const float, kNumParams> values) {
        for (int32_t i : kProgramApplyOrder) setValue(i, values[i]);
    }
    // The same, converting at `rate`, which stays the rate in force; an
    // unusable one leaves the last usable rate in force. A VST 2 host's
    // parameter request converts at the rate the host last gave, by
    // whichever request it gave it.
    void setValueAt(int32_t index, float value, float rate);
    float value(int32_t index) const;  // 0 for other indexes
    // The value as the instrument shows it ("0.50"), at most size - 1
    // characters; empty for other indexes.
    void displayText(int32_t index, char* text, size_t size) const;

    // --- rate (main) ---
    // The rate later conversions and note starts use. Only the pitch step
    // follows at once; each other quantity follows when its value is set or
    // a program selected. An unusable rate is ignored. This is how a VST 2
    // host's rate request has always worked.
    void setRate(float rate);
    // The rate the audio runs at, with every value converted at it, so the
    // sound does not depend on which came first, the values or the rate.
    // Refuses an unusable rate (false, nothing changed).
    bool activate(double rate);
    // The rate conversions use.
    float rate() const { return rate_.load(std::memory_order_relaxed); }

    // --- programs (main) ---
    int32_t program() const { return program_.load(std::memory_order_relaxed); }
    // Makes `program` current and applies its values (at `rate`, as
    // setValueAt); out of range ignored.
    void selectProgram(int32_t program) { selectProgramAt(program, rate()); }
    void selectProgramAt(int32_t program, float rate);
    // Replaces a program's values (each 0..1, in parameter numbering) and
    // name; the current values stay until it is selected. Out of range
    // ignored.
    void storeProgram(int32_t program, const float (&values)[kNumParams], const char* name);
    // Copies the current program's values and name over `destination`,
    // without selecting it. False out of range.
    bool copyProgram(int32_t destination);
    // Program names: at most kProgramNameSize - 1 characters, always
    // terminated. A name read while another thread renames the program may
    // mix the two names but stays terminated.
    bool programName(int32_t program, char* name, size_t size) const;
    void setProgramName(int32_t program, const char* name);
    float programValue(int32_t program, int32_t index) const;

    // --- state (main) ---
    void saveState(unsigned char (&bytes)[kStateSize]) const;
    // Checks the whole stream before anything is applied: a refused stream
    // (false) leaves the instrument exactly as it was.
    bool loadState(const unsigned char* bytes, size_t size);

    // --- audio ---
    // Voices, glide and bend fresh; values and rate kept. Builds the shared
    // tables if no one has, so also call it off the audio thread first
    // (construction does).
    void reset();
    // A MIDI message for the next rendered block, at `deltaFrames` into it.
    void midi(uint8_t status, uint8_t data1, uint8_t data2, int32_t deltaFrames);
    // The next `frames` frames with the values as they stand now, added to
    // the outputs or written over them.
    void render(float* left, float* right, int32_t frames);
    void renderReplacing(float* left, float* right, int32_t frames);
    // A block with its events, each applied at its frame: the block is
    // rendered up to the event, the event applied, and rendering goes on,
    // so the sound does not depend on how a host cuts its blocks. Events
    // before the position reached apply there, those past the block at its
    // end. A null output renders into a scratch buffer, so the voices run
    // on as if it were heard.
    void process(float* left, float* right, uint32_t frames, EventSource& events);
    // True while rendering would give silence and change nothing.
    bool asleep() const;

    // For tests and benchmarks.
    const Engine& engine() const { return engine_; }
    Engine& engineForTest() { return engine_; }
    Quantities quantities() const { return shared_.snapshot(); }

private:
    void apply(const Event& event);
    void renderSpan(float* left, float* right, uint32_t from, uint32_t to);
    void convertAll(float rate);

    struct Program {
        std::atomic<float> values[kNumParams];
        std::atomic<char> name[kProgramNameSize];
    };

    std::atomic<float> values_[kNumParams];
    SharedQuantities shared_;
    std::atomic<float> rate_{kDefaultSampleRate};  // last usable rate
    std::atomic<int32_t> program_{0};
    Program programs_[kNumPrograms];
    Engine engine_;  // audio
    static constexpr uint32_t kScratchFrames = 256;
    float scratch_[2][kScratchFrames];  // audio
};

}  // namespace orvo
