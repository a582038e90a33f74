// Search-core benchmarks: perft through the staged move picker, leaves per
// second on one core.
#include <cstdio>
#include <cstdlib>

#include "board/keys.h"
#include "board/perft.h"
#include "board/position.h"
#include "board/tables.h"
#include "platform/platform.h"
#include "search/ordering.h"
#include "search/records.h"
#include "tests/bench/bench.h"
#include "uci/settings.h"

static void InitBenchEnvironment() {
    InitBoardTables();
    MakeKeys();
    InitControlBlock();
    InitSearchData();
    SetDefaultSettings();
    Personality = DefaultPersonality;
}

int PickerPerftBench(int argc, char** argv) {
    int depth = argc >= 1 ? atoi(argv[0]) : 6;
    const char* fen = argc >= 2 ? argv[1] : START_FEN;
    if (depth < 1 || depth > 10) {
        fprintf(stderr, "perft depth must be 1 to 10\n");
        return 1;
    }
    InitBenchEnvironment();
    ThreadRecord* t = AllocThreadRecord();
    if (!t) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }
    int status = 0;
    if (SetPosition(&t->pos, fen) == -2) {
        fprintf(stderr, "position refused\n");
        status = 1;
    } else {
        ResetOrdering(t);
        t->nodes.store(0);
        double t0 = GetTime();
        Perft2(t, t->pos.side, 1, depth);
        double secs = GetTime() - t0;
        uint64_t leaves = t->nodes.load();
        printf("picker perft %d: %llu leaves in %.3f s, %.1f million leaves per second\n", depth,
               (unsigned long long)leaves, secs, secs > 0 ? leaves / secs / 1e6 : 0.0);
    }
    FreeThreadRecord(t);
    return status;
}
