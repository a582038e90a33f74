// Tablebase benchmark: the node rate of timed pool searches of positions
// inside the Syzygy test tables, with the tables registered and without, and
// how much of the rate the probes keep.
#include <sys/stat.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/settings.h"
#include "search/records.h"
#include "search/pool.h"
#include "tablebase/tbcore.h"
#include "tests/bench/bench.h"

// Four pieces each, none settled by the first iterations.
static const char* const kPositions[] = {
    "8/8/3k4/8/3r4/8/8/R2K4 w - - 0 1",        // KRvKR, drawn
    "8/8/8/2k5/8/8/1q6/4K2Q w - - 0 1",        // KQvKQ
    "8/8/8/4k3/8/8/8/1BN1K3 w - - 0 1",        // KBNvK, a long win
    "8/8/5k2/8/1p6/8/8/R3K3 w - - 0 1",        // KRvKP
    "8/3k4/8/4p3/4P3/8/3K4/8 w - - 0 1",       // KPvKP
    "8/8/4k3/3r4/8/8/8/Q3K3 w - - 0 1",        // KQvKR
};
static const int kPositionCount = sizeof kPositions / sizeof kPositions[0];

// Processor seconds of the whole process: on a busy machine the search
// threads' own time is a steadier measure than the clock on the wall.
static double ProcessSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

struct Run {
    double nodes = 0, seconds = 0, cpu = 0, hits = 0;
};

// One timed search of a position.
static Run RunPosition(const char* fen, double movetime) {
    SearchData.limit_kind = 1;
    SearchData.move_time = movetime;
    SearchData.depth_limit = 66;
    SearchData.node_limit = 0;
    Run r;
    const double c0 = ProcessSeconds();
    BenchRunOne(fen, &r.nodes, &r.seconds);
    r.cpu = ProcessSeconds() - c0;
    r.hits = (double)SearchData.tb_hits;
    return r;
}

int TablebaseBench(int argc, char** argv) {
    const double movetime = argc >= 1 ? atof(argv[0]) : 2.0;
    const int threads = argc >= 2 ? atoi(argv[1]) : 1;
    const int rounds = argc >= 3 ? atoi(argv[2]) : 3;
    const std::string dir = TESK_SYZYGY_DATA;
    struct stat st;
    if (movetime <= 0 || threads < 1 || threads > 128 || rounds < 1) {
        fprintf(stderr, "usage: tablebase [seconds per search] [threads] [rounds]\n");
        return 1;
    }
    if (stat((dir + "/KQvK.rtbw").c_str(), &st) != 0) {
        fprintf(stderr, "no Syzygy test tables in %s\n", dir.c_str());
        return 1;
    }
    if (!BenchSetUpEngine(64) || !BenchUsePool(threads)) {
        fprintf(stderr, "cannot set up the search\n");
        return 1;
    }
    printf("tablebase node rate, %.1f s per search, %d positions, %d thread%s, %d rounds\n", movetime,
           kPositionCount, threads, threads > 1 ? "s" : "", rounds);
    // Each position alternately without and with the tables, `rounds` times.
    Run without, with;
    for (int i = 0; i < kPositionCount; i++) {
        Run a, b;
        for (int round = 0; round < rounds; round++) {
            init_tablebases("");
            const Run x = RunPosition(kPositions[i], movetime);
            init_tablebases(dir.c_str());
            const Run y = RunPosition(kPositions[i], movetime);
            a.nodes += x.nodes, a.seconds += x.seconds, a.cpu += x.cpu;
            b.nodes += y.nodes, b.seconds += y.seconds, b.cpu += y.cpu, b.hits += y.hits;
        }
        printf("  %-40s %10.0f / %10.0f nodes per processor second, %3.0f%% kept\n", kPositions[i], a.nodes / a.cpu,
               b.nodes / b.cpu, 100.0 * (b.nodes / b.cpu) / (a.nodes / a.cpu));
        fflush(stdout);
        without.nodes += a.nodes, without.seconds += a.seconds, without.cpu += a.cpu;
        with.nodes += b.nodes, with.seconds += b.seconds, with.cpu += b.cpu, with.hits += b.hits;
    }
    printf("  without tables: %10.0f nodes/s on the clock, %10.0f per processor second\n",
           without.nodes / without.seconds, without.nodes / without.cpu);
    printf("  with tables:    %10.0f nodes/s on the clock, %10.0f per processor second, %.0f%% of the nodes probed\n",
           with.nodes / with.seconds, with.nodes / with.cpu, 100.0 * with.hits / with.nodes);
    printf("  rate kept: %.1f%% (processor time), %.1f%% (clock)\n",
           100.0 * (with.nodes / with.cpu) / (without.nodes / without.cpu),
           100.0 * (with.nodes / with.seconds) / (without.nodes / without.seconds));
    init_tablebases("");
    KillThreadPool(SearchData.threads);
    return 0;
}
