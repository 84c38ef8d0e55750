// Renders a fixed stretch of one playing situation for callgrind to count:
// only orvo_measured_render is collected (see callgrind-frame.sh), so set-up,
// tables and start-up do not enter the count; nor does orvo_keep_situation,
// the benchmark's own rewinding of the counters between blocks.
//
//   orvo-frame-count <situation 0..5> <frames> [block]
#include <cstdio>
#include <cstdlib>

#include "BenchHost.h"

using namespace orvobench;

extern "C" __attribute__((noinline)) void orvo_keep_situation(Instance& in, Keeper& keep) { keep(in); }

extern "C" __attribute__((noinline)) void orvo_measured_render(Instance& in, Keeper& keep, float* l, float* r,
                                                               int frames, int block) {
    for (int done = 0; done < frames; done += block) {
        in.render(l, r, block, true);
        orvo_keep_situation(in, keep);
    }
}

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s situation frames [block]\n", argv[0]);
        return 2;
    }
    const int situation = std::atoi(argv[1]);
    const int frames = std::atoi(argv[2]);
    const int block = argc > 3 ? std::atoi(argv[3]) : 512;
    if (situation < 0 || situation >= kSituationCount || frames <= 0 || block <= 0 || frames % block != 0) {
        std::fprintf(stderr, "bad arguments\n");
        return 2;
    }
    Instance in;
    setUp(in, situation);
    Keeper keep{situation};
    std::vector<float> l(block), r(block);
    orvo_measured_render(in, keep, l.data(), r.data(), frames, block);
    std::printf("%s\n", situationName(situation));
    return 0;
}
