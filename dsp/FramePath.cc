// Rendering a block: the quiet path for blocks in which no voice sounds, the
// general frame path for any mix of sounding, waiting and silent voices,
// and the hand-over between that path and the stage runs (StageRuns.cc),
// which take the stretches where the voices' stages are known in advance.
#include <bit>

#include "Engine.h"
#include "FrameSteps.h"

namespace orvo {

using namespace frame;

namespace frame {

// Reached when a state or coefficient leaves the range where the two-lane
// step is exact: unstable settings or wild parameter values.
ScalarBack scalarBack(FilterPair fp, int32_t raw0, int32_t raw1, Pair level, FloatPair f, Pair gains,
                      double damping, int32_t filterType) {
    float s[2] = {0.0f, 0.0f};
    const int32_t raw[2] = {raw0, raw1};
    const double levels[2] = {lane0(level), lane1(level)};
    const double gain[2] = {lane0(gains), lane1(gains)};
    const float cutoffs[2] = {lane0(f), lane1(f)};
    FilterState states[2] = {filterOf(fp, 0), filterOf(fp, 1)};
    for (int i = 0; i < 2; ++i) {
        // Level and gain were widened from floats, so these narrow exactly.
        const int32_t y = filterSample(states[i], raw[i], cutoffs[i], damping, filterType);
        s[i] = static_cast<float>(static_cast<double>(y) * static_cast<double>(static_cast<float>(levels[i])) *
                                  static_cast<double>(static_cast<float>(gain[i])));
    }
    return {filterPairOf(states[0], states[1]), floatPairOf(s[0], s[1])};
}

}  // namespace frame

namespace {

// Both channels, eight frames a pass, which the compiler writes as a few
// vector stores. Kept a loop rather than turned into memset, whose string
// instruction for large blocks instruction counters count once per element,
// which would hide the real cost of a quiet block.
#if defined(__clang__)
#define ORVO_NOT_MEMSET __attribute__((no_builtin("memset")))
#else
#define ORVO_NOT_MEMSET __attribute__((optimize("no-tree-loop-distribute-patterns")))
#endif
ORVO_NOT_MEMSET void clearFrames(float* left, float* right, int32_t frames) {
    int32_t i = 0;
    for (; i + 8 <= frames; i += 8) {
        for (int32_t k = 0; k < 8; ++k) left[i + k] = 0.0f;
        for (int32_t k = 0; k < 8; ++k) right[i + k] = 0.0f;
    }
    for (; i < frames; ++i) {
        left[i] = 0.0f;
        right[i] = 0.0f;
    }
}

// Whether the voice sounds in this frame; a voice waiting out its delay
// uses the frame up.
[[gnu::always_inline]] inline bool soundsThisFrame(Lane& v) {
    if (v.env.stage <= kStageOff) return false;
    if (v.delay > 0) {
        --v.delay;
        return false;
    }
    return true;
}

// The first half of a sounding voice's frame: oscillator read, phase
// advance, envelope and release countdown. Gives the raw table value and
// sets `level`. A released note keeps its own pitch; the held one plays the
// glide.
[[gnu::always_inline]] inline int32_t voiceFront(Lane& v, const FrontParams& p, const EnvelopeTimes& times,
                                                 float glide, float& level) {
    const int32_t raw = oscillate(v.phase, p, v.env.stage == kStageRelease ? v.increment : glide);
    level = envelopeStep(v.env, times, p.sustain);
    releaseCountdownStep(v.env);
    return raw;
}

}  // namespace

// Frames the stage runs are not made for: a voice waiting out its delay, a
// lone voice's frame in which its stage ends, and a glide too wild for the
// runs' unchecked step. Both
// voices run in the lanes of the paired filter step, each with its own
// stage; a lane whose voice does not sound is closed, so its states stand
// still. Ends with the block or with the first frame from which a stage run
// can go on.
template <Engine::Output kMode>
int32_t Engine::mixedFrames(const Quantities& q, float* left, float* right, int32_t n, int32_t frames) {
    const FrontParams front = frontOf(q);
    const BackParams back = backOf(q);
    const EnvelopeTimes times = timesOf(q);
    Voice& voice0 = bank_.voice[0];
    Voice& voice1 = bank_.voice[1];
    Lane v0{voice0.phase, voice0.increment, voice0.delay, voice0.env};
    Lane v1{voice1.phase, voice1.increment, voice1.delay, voice1.env};
    FilterPair fp = filterPairOf(voice0.filter, voice1.filter);
    float glide = bank_.glideIncrement;
    const bool newestIsFirst = bank_.nextVoice == 0;
    const Pair gains = pairOf(voice0.gain, voice1.gain);
    const Pair scales = pairOf(voice0.cutoffScale, voice1.cutoffScale);
    bool small = false;
    const int32_t first = n;
    for (;;) {
        const float target = newestIsFirst ? glideTargetOf(v0, v1) : glideTargetOf(v1, v0);
        if (n > first) {
            int32_t solo;
            if (runnableVoices(v0, v1, glide, target, times, solo) != 0) break;
        }
        glide = glideStep(glide, target, front.drag);
        const bool sounds0 = soundsThisFrame(v0), sounds1 = soundsThisFrame(v1);
        float level0 = 0.0f, level1 = 0.0f;
        int32_t raw0 = 0, raw1 = 0;
        if (sounds0) raw0 = voiceFront(v0, front, times, glide, level0);
        if (sounds1) raw1 = voiceFront(v1, front, times, glide, level1);
        FloatPair samples = zeroFloats();
        const int lanes = int{sounds0} | int{sounds1} << 1;
        if (lanes != 0) {
            const Pair level = widen(floatPairOf(level0, level1));
            samples = pairedBack<true>(fp, raw0, raw1, level, gains, scales, lanes, back, small);
        }
        emit<kMode>(left, right, n, sounds0, lane0(samples), sounds1, lane1(samples));
        if (++n == frames) break;
    }
    voice0.phase = v0.phase;
    voice0.delay = v0.delay;
    voice0.env = v0.env;
    voice0.filter = filterOf(fp, 0);
    voice1.phase = v1.phase;
    voice1.delay = v1.delay;
    voice1.env = v1.env;
    voice1.filter = filterOf(fp, 1);
    bank_.glideIncrement = glide;
    return n;
}

template <Engine::Output kMode>
void Engine::renderFrames(const Quantities& q, float* left, float* right, int32_t frames) {
    const EnvelopeTimes times = timesOf(q);
    int32_t n = 0;
    while (n < frames) {
        int32_t solo = 0;
        const StageRunFn run = stageRunFor(times, solo);
        n = run ? (this->*run)(q, kMode, left, right, n, frames, solo) : mixedFrames<kMode>(q, left, right, n, frames);
    }
}

// Both voices off: only the glide moves. Once a step leaves it unchanged, it
// stays put for as long as the drag coefficient keeps its bits, which it
// does for the whole stretch; what settled the glide is kept across stretches
// while glide and target stay the same.
template <bool kReplace>
[[gnu::noinline]] void Engine::renderQuiet(const Quantities& q, float* left, float* right, int32_t frames) {
    if (kReplace) clearFrames(left, right, frames);
    const float target = glideTargetOf(bank_);
    const float drag = q.dragCoef;
    const uint32_t dragBits = std::bit_cast<uint32_t>(drag);
    float g = bank_.glideIncrement;
    bool settled = quiet_.settled && std::bit_cast<uint32_t>(g) == quiet_.glideBits &&
                   std::bit_cast<uint32_t>(target) == quiet_.targetBits && dragBits == quiet_.dragBits;
    for (int32_t n = 0; n < frames && !settled; ++n) {
        const float next = glideStep(g, target, drag);
        settled = std::bit_cast<uint32_t>(next) == std::bit_cast<uint32_t>(g);
        g = next;
    }
    bank_.glideIncrement = g;
    quiet_ = {settled, dragBits, std::bit_cast<uint32_t>(g), std::bit_cast<uint32_t>(target)};
}

bool Engine::quiet() const { return bank_.voice[0].env.stage <= kStageOff && bank_.voice[1].env.stage <= kStageOff; }

bool Engine::asleep(const Quantities& q) const {
    return quiet() && quiet_.settled && std::bit_cast<uint32_t>(bank_.glideIncrement) == quiet_.glideBits &&
           std::bit_cast<uint32_t>(glideTargetOf(bank_)) == quiet_.targetBits &&
           std::bit_cast<uint32_t>(q.dragCoef) == quiet_.dragBits;
}

void Engine::render(const Quantities& q, float* left, float* right, int32_t frames) {
    if (frames <= 0) return;
    if (quiet())
        renderQuiet<false>(q, left, right, frames);
    else if (left == right)
        renderFrames<Output::kAddOneBuffer>(q, left, right, frames);
    else
        renderFrames<Output::kAdd>(q, left, right, frames);
}

void Engine::renderReplacing(const Quantities& q, float* left, float* right, int32_t frames) {
    if (frames <= 0) return;
    if (quiet()) {
        renderQuiet<true>(q, left, right, frames);
    } else if (left == right) {
        clearFrames(left, left, frames);
        renderFrames<Output::kAddOneBuffer>(q, left, right, frames);
    } else {
        renderFrames<Output::kReplace>(q, left, right, frames);
    }
}

}  // namespace orvo
