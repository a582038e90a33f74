// Search-driver benchmark: node rate of the pool with 1, 2, 4 and 8 threads
// on a fixed set of positions, and the time the pool needs to reach a fixed
// depth with each thread count.
#include <cstdio>
#include <cstdlib>

#include "base/settings.h"
#include "board/keys.h"
#include "board/position.h"
#include "board/tables.h"
#include "eval/kpk.h"
#include "eval/params.h"
#include "platform/platform.h"
#include "search/params.h"
#include "search/pool.h"
#include "search/records.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "tests/bench/bench.h"

static const char* const kPositions[] = {
    "r1bqkb1r/pp1ppppp/2n2n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "1r1qbr1k/4bp1p/p3p2Q/3pP3/2pP4/P1N1PN2/1PR2RP1/6K1 b - -",
    "r2r2k1/5pp1/2bPp3/p1N4p/1qQ5/2P2P2/BP4PP/1K1R4 b - -",
    "5r1k/5rp1/p1n1p1qp/2P1p3/P7/4QN1P/5PP1/2R1R2K w - -",
    "r1b2rk1/1p1nbppp/pq1p4/3B4/P2NP3/2N1p3/1PP3PP/R2Q1R1K w - -",
};
static const int kPositionCount = sizeof kPositions / sizeof kPositions[0];

bool BenchSetUpEngine(int hash_mb) {
    InitBoardTables();
    InitKPK();
    InitControlBlock();
    InitSearchData();
    SetDefaultSettings();
    Personality = DefaultPersonality;
    Personality.Hash = (int16_t)hash_mb;
    Personality.UCI_Elo = 3000;
    Personality.Ponder = 0;
    CTD = AllocThreadRecord();
    if (!CTD) return false;
    CTD->pos.owner = CTD;
    CTD->thread_index = 0xFF;
    CTD->ply = 1;
    CTD->stack[0].list = CTD->stack[0].next = &CTD->move_store[0];
    CTD->stack[1].list = CTD->stack[1].next = &CTD->move_store[1];
    CTD->move_store[0].move = MOVE_END;
    SearchData.hash_mb = (int16_t)hash_mb;
    PBlock.noise = 9999.0;
    if (!HashInit()) return false;
    SetSearchParams();
    SetEvalParams();
    Personality.params_changed = 0;
    return true;
}

bool BenchUsePool(int threads) {
    KillThreadPool(SearchData.threads);
    SearchData.threads = (uint8_t)threads;
    Personality.Threads = (int16_t)threads;
    return CreateThreadPool(threads) == 0;
}

void BenchRunOne(const char* fen, double* nodes, double* seconds) {
    SetPosition(&CTD->pos, fen);
    HashClear();
    SearchData.request = 1;
    PrepareNewSearch();
    SearchData.request = 0;
    StartSearch();
    while (ThreadsAreBusy()) {
        SleepMs(1);
        SearchTimecheck();
    }
    GetElapsedTime();
    Collect();
    *nodes = (double)SearchData.nodes;
    *seconds = SearchData.elapsed.load();
}

int DriverBench(int argc, char** argv) {
    const double movetime = argc >= 1 ? atof(argv[0]) : 2.0;
    const int depth = argc >= 2 ? atoi(argv[1]) : 12;
    const int max_threads = argc >= 3 ? atoi(argv[2]) : 8;
    if (movetime <= 0 || depth < 1 || depth > 60 || max_threads < 1 || max_threads > 128) {
        fprintf(stderr, "usage: threads [seconds per position] [depth] [max threads]\n");
        return 1;
    }
    if (!BenchSetUpEngine(256)) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }
    printf("pool node rate, %.1f s per position, %d positions\n", movetime, kPositionCount);
    double base_nps = 0;
    for (int threads = 1; threads <= max_threads; threads *= 2) {
        if (!BenchUsePool(threads)) {
            fprintf(stderr, "cannot create %d threads\n", threads);
            return 1;
        }
        SearchData.limit_kind = 1;
        SearchData.move_time = movetime;
        SearchData.depth_limit = 66;
        SearchData.node_limit = 0;
        double nodes = 0, seconds = 0;
        for (int i = 0; i < kPositionCount; i++) {
            double n, s;
            BenchRunOne(kPositions[i], &n, &s);
            nodes += n;
            seconds += s;
        }
        const double nps = nodes / seconds;
        if (threads == 1) base_nps = nps;
        printf("  %3d threads: %12.0f nodes/s  (%.2f x one thread)\n", threads, nps, nps / base_nps);
        fflush(stdout);
    }
    printf("time to depth %d\n", depth);
    for (int threads = 1; threads <= max_threads; threads *= 2) {
        if (!BenchUsePool(threads)) return 1;
        SearchData.limit_kind = 1;
        SearchData.move_time = 1e7;
        SearchData.depth_limit = (uint8_t)depth;
        SearchData.node_limit = 0;
        double total = 0;
        for (int i = 0; i < kPositionCount; i++) {
            double n, s;
            BenchRunOne(kPositions[i], &n, &s);
            total += s;
        }
        printf("  %3d threads: %8.3f s\n", threads, total);
        fflush(stdout);
    }
    KillThreadPool(SearchData.threads);
    return 0;
}
