// Cost of the engine: per frame in each playing situation, block size and
// output mode, each set against the filter recurrence alone ("floor"); per
// MIDI event taken in; and per instance created, cold (first in a process,
// tables included: measured in a child process) and warm.
//
//   orvo-engine-bench [google benchmark flags]
//   orvo-engine-bench --cold-start [--tables]
//       (the child: prints the two start-up times in microseconds, and with
//       --tables the table build's share first measured on its own)
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "BenchHost.h"
#include "Filter.h"
#include "FilterPair.h"
#include "Tables.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace orvobench;

// Taken as the first thing main does, for the cold start-up time.
Clock::time_point gMainStart;

// --- the floor ---------------------------------------------------------------
// Two voices' filter recurrences and nothing else, with the arithmetic the
// engine uses: the bound a two-voice frame cannot beat, since each frame of
// a voice waits for the previous frame's states. Two forms: the scalar step
// and the paired step the engine runs when both voices sound; the faster is
// the floor.
__attribute__((noinline)) int32_t floorScalar(orvo::FilterState* s, int32_t frames, const int32_t* input) {
    int32_t sum = 0;
    for (int32_t n = 0; n < frames; ++n) {
        const int32_t x = input[n & orvo::kCycleMask];
        sum += orvo::filterSample(s[0], x, 0.3f, 0.6f, orvo::kLowPass);
        sum += orvo::filterSample(s[1], -x, 0.2f, 0.6f, orvo::kLowPass);
    }
    return sum;
}

__attribute__((noinline)) double floorPaired(orvo::FilterPair& fp, int32_t frames, const int32_t* input) {
    const orvo::Pair f = _mm_set_pd(static_cast<double>(0.2f), static_cast<double>(0.3f));
    const orvo::Pair damping = _mm_set1_pd(static_cast<double>(0.6f));
    orvo::Pair sum = _mm_setzero_pd();
    for (int32_t n = 0; n < frames; ++n) {
        const double x = input[n & orvo::kCycleMask];
        sum = _mm_add_pd(sum, orvo::filterPairStep(fp, _mm_set_pd(-x, x), f, damping, orvo::kLowPass));
    }
    return _mm_cvtsd_f64(sum);
}

struct Floor {
    double scalarNs, pairedNs;
    double ns() const { return std::min(scalarNs, pairedNs); }
};

const Floor& floorNanosPerFrame() {
    static const Floor floor = [] {
        const int32_t* input = orvo::waveTables().sawMix;
        constexpr int32_t kFrames = 1 << 20;
        Floor best{1e30, 1e30};
        for (int rep = 0; rep < 7; ++rep) {
            orvo::FilterState s[2] = {};
            auto t0 = Clock::now();
            benchmark::DoNotOptimize(floorScalar(s, kFrames, input));
            auto t1 = Clock::now();
            best.scalarNs = std::min(best.scalarNs, std::chrono::duration<double, std::nano>(t1 - t0).count() / kFrames);
            orvo::FilterPair fp{_mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd()};
            t0 = Clock::now();
            benchmark::DoNotOptimize(floorPaired(fp, kFrames, input));
            t1 = Clock::now();
            best.pairedNs = std::min(best.pairedNs, std::chrono::duration<double, std::nano>(t1 - t0).count() / kFrames);
        }
        return best;
    }();
    return floor;
}

void floorKernel(benchmark::State& state) {
    const bool paired = state.range(0) != 0;
    orvo::FilterState s[2] = {};
    orvo::FilterPair fp{_mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd()};
    const int32_t* input = orvo::waveTables().sawMix;
    constexpr int32_t kFrames = 4096;
    for (auto _ : state) {
        if (paired)
            benchmark::DoNotOptimize(floorPaired(fp, kFrames, input));
        else
            benchmark::DoNotOptimize(floorScalar(s, kFrames, input));
    }
    state.counters["per_frame"] =
        benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["floor_ns"] = floorNanosPerFrame().ns();
    state.SetLabel(paired ? "paired step" : "scalar step");
}
BENCHMARK(floorKernel)->Arg(0)->Arg(1);

// --- frame cost ---------------------------------------------------------------
// Arguments: situation, block size, replacing (1) or accumulating (0).
// Between slices of blocks, outside the timed part, the paired floor runs a
// slice of its own, so that on a shared machine both see the same load:
// x_floor is the ratio of their averages over the whole run, and floor_ns
// the floor it was taken against.
constexpr int32_t kSliceFrames = 1 << 14;

void frameCost(benchmark::State& state) {
    const int situation = static_cast<int>(state.range(0));
    const int block = static_cast<int>(state.range(1));
    const bool replacing = state.range(2) != 0;
    Instance in;
    setUp(in, situation);
    Keeper keep{situation};
    std::vector<float> left(block), right(block);
    orvo::FilterPair fp{_mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd()};
    const int32_t* input = orvo::waveTables().sawMix;
    const int64_t sliceBlocks = std::max(1, kSliceFrames / block);
    const auto nanos = [](Clock::duration d) { return std::chrono::duration<double, std::nano>(d).count(); };
    double frameNs = 0.0, floorNs = 0.0;
    int64_t frames = 0, floorFrames = 0, inSlice = 0;
    auto sliceStart = Clock::now();
    for (auto _ : state) {
        in.render(left.data(), right.data(), block, replacing);
        keep(in);
        frames += block;
        benchmark::DoNotOptimize(left.data());
        benchmark::ClobberMemory();
        if (++inSlice == sliceBlocks) {
            frameNs += nanos(Clock::now() - sliceStart);
            state.PauseTiming();
            const auto floorStart = Clock::now();
            benchmark::DoNotOptimize(floorPaired(fp, kSliceFrames, input));
            floorNs += nanos(Clock::now() - floorStart);
            floorFrames += kSliceFrames;
            state.ResumeTiming();
            inSlice = 0;
            sliceStart = Clock::now();
        }
    }
    frameNs += nanos(Clock::now() - sliceStart);
    const double ns = frameNs / static_cast<double>(frames);
    const double floor = floorFrames > 0 ? floorNs / static_cast<double>(floorFrames) : floorNanosPerFrame().ns();
    state.counters["per_frame"] =
        benchmark::Counter(block, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["x_floor"] = ns / floor;
    state.counters["floor_ns"] = floor;
    state.counters["x_realtime"] = 1e9 / 44100.0 / ns;
    state.SetLabel(std::string(situationName(situation)) + (replacing ? " replacing" : " accumulating"));
}

void frameCostArgs(benchmark::internal::Benchmark* b) {
    for (int s = 0; s < kSituationCount; ++s)
        for (int block : {1, 32, 512, 4096})
            for (int replacing : {1, 0}) b->Args({s, block, replacing});
}
BENCHMARK(frameCost)->Apply(frameCostArgs)->ArgNames({"situation", "block", "replacing"})->MinTime(0.2);

// --- event intake ---------------------------------------------------------------
// A list of 64 events: notes on and off across the keyboard, bends and an
// ignored controller, as a busy host sends them, then an empty block so the
// delays do not pile up.
void eventIntake(benchmark::State& state) {
    Instance in;
    std::vector<MidiEvent> events;
    for (int i = 0; i < 64; ++i) {
        const uint8_t note = static_cast<uint8_t>(36 + (i * 7) % 48);
        switch (i % 4) {
            case 0: events.push_back(midiEvent(0x90, note, 100, i)); break;
            case 1: events.push_back(midiEvent(0x80, note, 0, i)); break;
            case 2: events.push_back(midiEvent(0xE0, 0, static_cast<uint8_t>(i), i)); break;
            default: events.push_back(midiEvent(0xB0, 7, 100, i)); break;
        }
    }
    orvo::Instrument& e = in.engine();
    for (auto _ : state) {
        for (const MidiEvent& m : events) e.midi(m.status, m.data1, m.data2, m.deltaFrames);
        benchmark::ClobberMemory();
    }
    state.counters["per_event"] = benchmark::Counter(static_cast<double>(events.size()),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}
BENCHMARK(eventIntake);

// --- instance creation ------------------------------------------------------------
// Create an engine and render its first block of 512 frames.
void firstBlock() {
    Instance in;
    std::vector<float> l(512), r(512);
    in.render(l.data(), r.data(), 512, true);
    benchmark::DoNotOptimize(l.data());
}

// The child's side: main to the first processed block of the first instance,
// then the same for a second one. Microseconds on one line.
// With --tables first, the table build is timed on its own before that
// (a third number).
int coldStart(bool tablesFirst) {
    double tablesUs = 0;
    if (tablesFirst) {
        orvo::waveTables();
        tablesUs = std::chrono::duration<double, std::micro>(Clock::now() - gMainStart).count();
    }
    firstBlock();
    const auto t1 = Clock::now();
    firstBlock();
    const auto t2 = Clock::now();
    std::printf("%.3f %.3f", std::chrono::duration<double, std::micro>(t1 - gMainStart).count(),
                std::chrono::duration<double, std::micro>(t2 - t1).count());
    if (tablesFirst) std::printf(" %.3f", tablesUs);
    std::printf("\n");
    return 0;
}

bool runColdChild(double& coldUs, double& secondUs) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    char self[] = "/proc/self/exe";
    char flag[] = "--cold-start";
    char* argv[] = {self, flag, nullptr};
    pid_t pid;
    const int rc = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return false;
    }
    char text[128] = {};
    ssize_t got = 0, n;
    while (got < static_cast<ssize_t>(sizeof text) - 1 && (n = read(fds[0], text + got, sizeof text - 1 - got)) > 0)
        got += n;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return std::sscanf(text, "%lf %lf", &coldUs, &secondUs) == 2;
}

void instanceCold(benchmark::State& state) {
    double worstSecond = 0;
    for (auto _ : state) {
        double cold = 0, second = 0;
        if (!runColdChild(cold, second)) {
            state.SkipWithError("could not run the child process");
            return;
        }
        state.SetIterationTime(cold * 1e-6);
        worstSecond = std::max(worstSecond, second);
    }
    state.counters["second_instance_us_worst"] = worstSecond;
    state.SetLabel("main to first block, tables included (child process)");
}
BENCHMARK(instanceCold)->UseManualTime()->Iterations(30)->Unit(benchmark::kMicrosecond);

void instanceWarm(benchmark::State& state) {
    orvo::waveTables();
    for (auto _ : state) firstBlock();
    state.SetLabel("create, open, first block; tables already built");
}
BENCHMARK(instanceWarm)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    gMainStart = Clock::now();
    if (argc > 1 && std::string(argv[1]) == "--cold-start") return coldStart(argc > 2 && std::string(argv[2]) == "--tables");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const Floor& floor = floorNanosPerFrame();
    std::printf("floor kernel: %.2f ns per two-voice frame (scalar step %.2f, paired step %.2f)\n", floor.ns(),
                floor.scalarNs, floor.pairedNs);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
