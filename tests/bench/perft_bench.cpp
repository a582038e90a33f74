// Plain legal-move perft (generate everything, keep the moves that pass
// MoveIsLegal, make and unmake), timed: leaves per second on one core.
#include <cstdio>
#include <cstdlib>

#include "base/settings.h"
#include "board/attacks.h"
#include "board/keys.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/tables.h"
#include "platform/platform.h"
#include "search/records.h"
#include "tests/bench/bench.h"

static uint64_t PerftLeaves(Position* pos, int depth) {
    ThreadRecord* rec = pos->owner;
    GenerateAll(pos);
    uint64_t n = 0;
    for (MoveEntry* e = rec->stack[rec->ply].list; e->move != MOVE_END; e++) {
        if (!MoveIsLegal(pos, pos->side, e->move)) continue;
        if (depth == 1) {
            n++;
        } else {
            MakeMove(pos, e->move);
            n += PerftLeaves(pos, depth - 1);
            UnmakeMove(pos);
        }
    }
    return n;
}

int PerftBench(int argc, char** argv) {
    int depth = argc >= 1 ? atoi(argv[0]) : 6;
    const char* fen = argc >= 2 ? argv[1] : START_FEN;
    if (depth < 1 || depth > 10) {
        fprintf(stderr, "perft depth must be 1 to 10\n");
        return 1;
    }
    InitBoardTables();
    MakeKeys();
    InitControlBlock();
    SetDefaultSettings();
    Personality = DefaultPersonality;
    ThreadRecord* rec = AllocThreadRecord();
    if (!rec) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }
    int status = 0;
    if (SetPosition(&rec->pos, fen) == -2) {
        status = 1;
    } else {
        double t0 = GetTime();
        uint64_t leaves = PerftLeaves(&rec->pos, depth);
        double secs = GetTime() - t0;
        printf("perft %d: %llu leaves in %.3f s, %.1f million leaves per second\n", depth,
               (unsigned long long)leaves, secs, secs > 0 ? leaves / secs / 1e6 : 0.0);
    }
    FreeThreadRecord(rec);
    return status;
}
