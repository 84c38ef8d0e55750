// Render cost of the engine per frame. Reported as "per_frame" (seconds per
// frame, inverted rate) next to the usual per-block time.
#include <benchmark/benchmark.h>

#include <vector>

#include "Engine.h"

namespace {

constexpr int kBlock = 256;

void prepare(orvo::Engine& e, int voices) {
    std::vector<float> scratch(2 * kBlock);
    if (voices >= 1) e.midi(0x90, 57, 100, 0);
    if (voices >= 2) {
        e.render(scratch.data(), scratch.data() + kBlock, kBlock);
        e.midi(0x90, 64, 100, 0);
        // The second note released the first; hold it again so both sound
        // for as long as the benchmark runs.
        orvo::EnvelopeState& first = e.voicesForTest().voice[1].env;
        first.stage = orvo::kStageSustain;
        first.releaseCountdown = orvo::kNoReleasePending;
    }
    for (int i = 0; i < 4; ++i) e.render(scratch.data(), scratch.data() + kBlock, kBlock);
}

void renderVoices(benchmark::State& state) {
    orvo::Engine engine;
    const int voices = static_cast<int>(state.range(0));
    prepare(engine, voices);
    std::vector<float> left(kBlock), right(kBlock);
    for (auto _ : state) {
        engine.render(left.data(), right.data(), kBlock);
        benchmark::DoNotOptimize(left.data());
        benchmark::ClobberMemory();
    }
    state.counters["per_frame"] = benchmark::Counter(static_cast<double>(kBlock),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
    state.SetLabel(voices == 0 ? "no voice" : voices == 1 ? "one voice" : "two voices");
}
BENCHMARK(renderVoices)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

BENCHMARK_MAIN();
