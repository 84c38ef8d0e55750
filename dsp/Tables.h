// Process-wide lookup tables: the integer mix tables the oscillators read,
// made from four source wave cycles, and the note-frequency table. Built
// once per process and never written again, so any number of instances can
// read them from their audio threads without coordination.
#pragma once

#include <cstdint>

namespace orvo {

inline constexpr int kCycleLength = 4096;               // entries in one wave cycle
inline constexpr int kCycleMask = kCycleLength - 1;
inline constexpr int kMixTableLength = 2 * kCycleLength;  // Wave1 half, then Wave2 half
inline constexpr int kNoteCount = 128;
// Phase units of one switch cycle: a Wave1 cycle, then a Wave2 cycle.
inline constexpr int kSwitchCycle = 2 * kCycleLength;
// The pitch step between neighbouring notes, and of a full pitch bend: a
// decimal constant slightly off the true twelfth root of two, which the
// tuning of every note depends on.
inline constexpr double kSemitoneRatio = 1.059463094359;

enum WaveShape : int32_t { kWaveSine = 0, kWaveSaw = 1, kWaveSquare = 2, kWaveTriangle = 3 };

// The source cycles, amplitude 1. Only the build of the mix tables reads
// them, so the shared set does not keep them: start-up touches less memory.
struct SourceCycles {
    float sine[kCycleLength];
    float triangle[kCycleLength];
    float saw[kCycleLength];
    float square[kCycleLength];
};

// Fills `s` completely: the cycles the mix tables are made from.
void buildSourceCycles(SourceCycles& s);

struct WaveTables {
    // Three-tap phase mixes of the sources, entries within +-100000. Entries
    // 0..4095 feed the Wave1 oscillator, 4096..8191 the Wave2 oscillator.
    int32_t sineMix[kMixTableLength];
    int32_t triangleMix[kMixTableLength];
    int32_t sawMix[kMixTableLength];
    int32_t squareMix[kMixTableLength];
    // Hz per MIDI note; note 69 is exactly 440.
    float noteFreq[kNoteCount];
};

// Fills `t` completely. Exposed so tests can build a private copy.
void buildWaveTables(WaveTables& t);

// The shared set, built on first use (thread-safe) and read-only afterwards.
const WaveTables& waveTables();

// Mix table for a wave selection: 0 sine, 1 saw, 2 square, 3 triangle; any
// other number falls back to saw.
const int32_t* mixTableFor(int32_t shape);

}  // namespace orvo
