// MIDI intake and the rotation of the two voices, between render calls: the
// effects land at frame offsets of the next block, where the renderer picks
// them up (a voice's delay, a pending release).
#include <cmath>

#include "Engine.h"
#include "Tables.h"

namespace orvo {

namespace {

constexpr uint8_t kStatusNoteOff = 0x80;
constexpr uint8_t kStatusNoteOn = 0x90;
constexpr uint8_t kStatusController = 0xB0;
constexpr uint8_t kStatusPitchBend = 0xE0;
constexpr uint8_t kControllerAllVoicesOff = 126;
constexpr uint8_t kDataMask = 0x7F;

constexpr double kCutoffScaleDivisor = 32768.0;
constexpr double kBendStep = 1.0 / 64.0;  // semitones per coarse bend step

}  // namespace

void Engine::midi(const Quantities& q, uint8_t status, uint8_t data1, uint8_t data2, int32_t deltaFrames) {
    const int32_t delta = deltaFrames < 0 ? 0 : deltaFrames;
    switch (status & 0xF0) {  // every channel alike
        case kStatusNoteOn:
            if ((data2 & kDataMask) != 0)
                noteOn(data1 & kDataMask, data2 & kDataMask, delta, q.tableStep);
            else
                noteOff(data1 & kDataMask, delta);
            break;
        case kStatusNoteOff: noteOff(data1 & kDataMask, delta); break;
        case kStatusController:
            if (data1 == kControllerAllVoicesOff) allVoicesOff();
            break;
        case kStatusPitchBend: pitchBend(data2, q.tableStep); break;
        default: break;
    }
}

void Engine::noteOff(int32_t note, int32_t delta) {
    for (int32_t v = 0; v <= bank_.maxVoiceIndex; ++v) {
        Voice& voice = bank_.voice[v];
        if (voice.note == note && isHeld(voice.env)) voice.env.releaseCountdown = delta;
    }
}

// No search for a free voice: the voices take turns, and each new note
// releases the other one at the frame where the new one starts.
void Engine::noteOn(int32_t note, int32_t velocity, int32_t delta, float tableStep) {
    if (++bank_.nextVoice > bank_.maxVoiceIndex) bank_.nextVoice = 0;
    const int32_t other = bank_.nextVoice == bank_.maxVoiceIndex ? 0 : bank_.nextVoice + 1;
    EnvelopeState& otherEnv = bank_.voice[other].env;
    if (isHeld(otherEnv)) otherEnv.releaseCountdown = delta;
    startNote(note, velocity, delta, bank_.nextVoice, tableStep);
}

void Engine::startNote(int32_t note, int32_t velocity, int32_t delta, int32_t v, float tableStep) {
    Voice& voice = bank_.voice[v];
    voice.note = note;
    voice.gain = static_cast<float>(static_cast<double>(velocity) * kGainPerVelocity * kGainLevel * kGainTableScale);
    voice.delay = delta;
    voice.env.stage = kStageAttack;
    voice.env.attackCount = 0;
    voice.phase = 0.0f;
    voice.env.level = 0.0f;
    voice.filter = FilterState{};
    voice.env.releaseCountdown = kNoReleasePending;
    voice.cutoffScale = static_cast<float>(static_cast<double>((velocity + 128) * note) / kCutoffScaleDivisor);
    updatePitch(v, tableStep);
}

void Engine::updatePitch(int32_t v, float tableStep) {
    Voice& voice = bank_.voice[v];
    voice.increment = static_cast<float>(static_cast<double>(waveTables().noteFreq[voice.note & kDataMask]) *
                                         static_cast<double>(tableStep) *
                                         static_cast<double>(bank_.bendFactor));
}

// Only the coarse byte counts; the top step is widened to 128 so that full
// deflection is exactly one semitone either way.
void Engine::pitchBend(uint8_t coarse, float tableStep) {
    int32_t m = coarse & kDataMask;
    if (m == 127) m = 128;
    const float bend = static_cast<float>(static_cast<double>(m - 64) * kBendStep);
    bank_.bendFactor = static_cast<float>(std::pow(kSemitoneRatio, static_cast<double>(bend)));
    for (int32_t v = 0; v <= bank_.maxVoiceIndex; ++v) updatePitch(v, tableStep);
}

void Engine::allVoicesOff() {
    for (int32_t v = 0; v <= bank_.maxVoiceIndex; ++v) bank_.voice[v].env.stage = kStageOff;
}

}  // namespace orvo
