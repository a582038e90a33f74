// Benchmarks (not tests): `tesk_bench <name> [arguments]`; without a name
// every benchmark runs with its default arguments.
#include <cstdio>
#include <cstring>

#include "tests/bench/bench.h"

namespace {
struct Bench {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* usage;
};
const Bench kBenches[] = {
    {"perft", PerftBench, "perft [depth] [fen]  legal-move perft, leaves per second (default depth 6, start position)"},
    {"search", SearchBench, "search [depth]  fixed-depth single-thread searches of a position set, nodes per second (default depth 12)"},
    {"pickperft", PickerPerftBench, "pickperft [depth] [fen]  perft through the search's move picker (default depth 6, start position)"},
    {"eval", EvalBench, "eval [rounds]  evaluations per second over a fixed position set (default 20000 rounds)"},
    {"tablebase", TablebaseBench, "tablebase [seconds] [threads] [rounds]  node rate of searches of 4-piece positions with and without the Syzygy test tables (default 2 s, 1 thread, 3 rounds)"},
    {"hash", HashBench, "hash [megabytes ...]  time to resize the table of the running engine, and a clock search after it (default 256 1024 16384)"},
    {"threads", DriverBench, "threads [seconds] [depth] [max threads]  pool node rate with 1, 2, 4, 8 threads and time to a fixed depth (default 2 s, depth 12, 8 threads)"},
};
}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (!strcmp(argv[1], "-h") || !strcmp(argv[1], "--help"))) {
        for (const auto& b : kBenches) printf("  %s\n", b.usage);
        return 0;
    }
    int status = 0;
    for (const auto& b : kBenches)
        if (argc < 2 || !strcmp(argv[1], b.name)) status |= b.run(argc < 2 ? 0 : argc - 2, argv + 2);
    if (argc >= 2 && status == 0) {
        bool known = false;
        for (const auto& b : kBenches) known |= !strcmp(argv[1], b.name);
        if (!known) {
            fprintf(stderr, "unknown benchmark %s (try --help)\n", argv[1]);
            return 1;
        }
    }
    return status ? 1 : 0;
}
