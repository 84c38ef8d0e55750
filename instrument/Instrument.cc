#include "Instrument.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ParamTable.h"
#include "Text.h"

namespace orvo {

namespace {
constexpr auto relaxed = std::memory_order_relaxed;
constexpr uint32_t kLongestSpan = 1u << 20;  // the render core counts frames in int32
}  // namespace

Instrument::Instrument() {
    for (int32_t i = 0; i < kNumParams; ++i) values_[i].store(kParams[i].defaultValue, relaxed);
    for (int32_t p = 0; p < kNumPrograms; ++p) {
        for (int32_t i = 0; i < kNumParams; ++i) programs_[p].values[i].store(kParams[i].defaultValue, relaxed);
        char name[kProgramNameSize];
        std::snprintf(name, sizeof name, "%s%d", kProgramNamePrefix, p + 1);
        setProgramName(p, name);
    }
    applyRate(shared_, kDefaultSampleRate);
    selectProgram(0);
    reset();
}

// --- values ----------------------------------------------------------------------

void Instrument::setValueAt(int32_t index, float value, float rate) {
    if (!isParamIndex(index)) return;
    values_[index].store(value, relaxed);
    programs_[program()].values[index].store(value, relaxed);
    if (usableRate(rate)) rate_.store(rate, relaxed);
    applyParameter(shared_, index, value, this->rate());
}

float Instrument::value(int32_t index) const { return isParamIndex(index) ? values_[index].load(relaxed) : 0.0f; }

void Instrument::displayText(int32_t index, char* text, size_t size) const {
    if (!text || size == 0) return;
    text[0] = '\0';
    if (isParamIndex(index)) floatToText(text, value(index), size);
}

void Instrument::convertAll(float rate) {
    for (int32_t i : kProgramApplyOrder) applyParameter(shared_, i, value(i), rate);
}

// --- rate ------------------------------------------------------------------------

void Instrument::setRate(float rate) {
    if (!usableRate(rate)) return;
    rate_.store(rate, relaxed);
    applyRate(shared_, rate);
}

bool Instrument::activate(double rate) {
    if (!usableRate(rate) || !usableRate(static_cast<float>(rate))) return false;
    setRate(static_cast<float>(rate));
    convertAll(static_cast<float>(rate));
    return true;
}

// --- programs --------------------------------------------------------------------

// Re-selecting the current program re-applies it at the rate now in force.
void Instrument::selectProgramAt(int32_t program, float rate) {
    if (program < 0 || program >= kNumPrograms) return;
    program_.store(program, relaxed);
    for (int32_t i : kProgramApplyOrder) setValueAt(i, programs_[program].values[i].load(relaxed), rate);
}

void Instrument::storeProgram(int32_t program, const float (&values)[kNumParams], const char* name) {
    if (program < 0 || program >= kNumPrograms) return;
    for (int32_t i = 0; i < kNumParams; ++i) programs_[program].values[i].store(values[i], relaxed);
    setProgramName(program, name);
}

bool Instrument::copyProgram(int32_t destination) {
    if (destination < 0 || destination >= kNumPrograms) return false;
    const int32_t current = program();
    if (destination == current) return true;
    for (int32_t i = 0; i < kNumParams; ++i)
        programs_[destination].values[i].store(programs_[current].values[i].load(relaxed), relaxed);
    char name[kProgramNameSize];
    programName(current, name, sizeof name);
    setProgramName(destination, name);
    return true;
}

bool Instrument::programName(int32_t program, char* name, size_t size) const {
    if (program < 0 || program >= kNumPrograms || !name || size == 0) return false;
    size_t n = 0;
    for (; n + 1 < size && n + 1 < kProgramNameSize; ++n) {
        const char c = programs_[program].name[n].load(relaxed);
        if (c == '\0') break;
        name[n] = c;
    }
    name[n] = '\0';
    return true;
}

void Instrument::setProgramName(int32_t program, const char* name) {
    if (program < 0 || program >= kNumPrograms) return;
    size_t n = 0;
    for (; name && n + 1 < kProgramNameSize && name[n] != '\0'; ++n) programs_[program].name[n].store(name[n], relaxed);
    programs_[program].name[n].store('\0', relaxed);
}

float Instrument::programValue(int32_t program, int32_t index) const {
    if (program < 0 || program >= kNumPrograms || !isParamIndex(index)) return 0.0f;
    return programs_[program].values[index].load(relaxed);
}

// --- audio -----------------------------------------------------------------------

void Instrument::reset() { engine_.reset(); }

void Instrument::midi(uint8_t status, uint8_t data1, uint8_t data2, int32_t deltaFrames) {
    engine_.midi(shared_.snapshot(), status, data1, data2, deltaFrames);
}

void Instrument::render(float* left, float* right, int32_t frames) {
    engine_.render(shared_.snapshot(), left, right, frames);
}

void Instrument::renderReplacing(float* left, float* right, int32_t frames) {
    engine_.renderReplacing(shared_.snapshot(), left, right, frames);
}

bool Instrument::asleep() const { return engine_.asleep(shared_.snapshot()); }

void Instrument::renderSpan(float* left, float* right, uint32_t from, uint32_t to) {
    const Quantities q = shared_.snapshot();
    const uint32_t longest = left && right ? kLongestSpan : kScratchFrames;
    while (from < to) {
        const uint32_t n = std::min(to - from, longest);
        engine_.renderReplacing(q, left ? left + from : scratch_[0], right ? right + from : scratch_[1],
                                static_cast<int32_t>(n));
        from += n;
    }
}

void Instrument::apply(const Event& event) {
    if (event.kind == Event::Kind::kValue)
        setValue(event.index, event.value);
    else
        engine_.midi(shared_.snapshot(), event.midi[0], event.midi[1], event.midi[2], 0);
}

// The one place a block is split: render up to each event, apply it, go on.
void Instrument::process(float* left, float* right, uint32_t frames, EventSource& events) {
    uint32_t pos = 0;
    Event event;
    while (events.next(event)) {
        const uint32_t at = std::clamp(event.frame, pos, frames);
        renderSpan(left, right, pos, at);
        pos = at;
        apply(event);
    }
    renderSpan(left, right, pos, frames);
}

}  // namespace orvo
