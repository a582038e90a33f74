// Search-core benchmarks: perft through the staged move picker (leaves per
// second on one core), and the node rate of fixed-depth single-thread
// searches over a set of positions.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "base/settings.h"
#include "board/attacks.h"
#include "board/keys.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/perft.h"
#include "board/position.h"
#include "board/see.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "eval/params.h"
#include "platform/platform.h"
#include "search/ordering.h"
#include "search/params.h"
#include "search/records.h"
#include "search/search.h"
#include "search/tt.h"
#include "tests/bench/bench.h"

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

static const char* const kSearchPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - -",
    "r1b1kb1r/3q1ppp/pBp1pn2/8/Np3P2/5B2/PPP3PP/R2Q1RK1 w kq -",
    "4rrk1/pp1n3p/3q2pQ/2p1pb2/2PP4/2P3N1/P2B2PP/4RRK1 b - -",
    "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ -",
};

// Iterative deepening over the legal root moves, each searched through the
// node search at ply 2 with the window narrowed by the best score so far.
static uint64_t SearchToDepth(ThreadRecord* t, int max_depth) {
    Position* pos = &t->pos;
    ResetOrdering(t);
    t->ply = 1;
    t->move_store[0] = MoveEntry{MOVE_END, 0, 0, 0};
    t->stack[0].list = t->stack[0].next = &t->move_store[0];
    t->stack[1].list = &t->move_store[1];
    t->stack[0].tb_wdl = t->stack[1].tb_wdl = -1;
    t->node_limit = 0x4000000000000000ULL;
    t->nodes.store(0);
    SearchStackEntry& st = t->stack[1];
    int side = pos->side;
    int checker = GetAtakr(pos, pos->king_sq[side], side ^ 1, pos->bb[0] | pos->bb[8]);
    st.checker = (uint8_t)checker;
    st.in_check = checker != NO_SQ;
    st.static_eval = (int16_t)Evaluate(t, side, 1, st.in_check, 0);
    t->stack[0].static_eval = (int16_t)-st.static_eval;
    GenerateAll(pos);
    MoveEntry* list = st.list;
    int n = 0;
    for (MoveEntry* e = list; e->move != MOVE_END; e++)
        if (MoveIsLegal(pos, side, e->move)) list[n++] = *e;
    list[n].move = MOVE_END;
    t->stack[2].list = &list[n + 1];
    t->stack[3].list = &list[n + 2];
    PrescoreAll(pos, list);
    Move pv[MAX_PLY + 2];
    for (int d = 1; d <= max_depth && n > 0; d++) {
        t->depth = (uint8_t)d;
        SearchData.depth = (uint8_t)d;
        int best = -10001;
        for (int i = 0; i < n; i++) {
            int top = i;
            for (int j = i + 1; j < n; j++)
                if (list[j].score > list[top].score) top = j;
            std::swap(list[i], list[top]);
            st.next = &list[i];
            st.move_flags = (uint16_t)(SetMoveFlags(pos, side, &list[i]) & 255);
            MakeMove(pos, list[i].move);
            int v = -Search(pos, side ^ 1, 2, d - 1, -10001, -best, 0, pv);
            UnmakeMove(pos);
            list[i].score = (int16_t)(-11000 - i);
            if (v > best) {
                best = v;
                MoveEntry keep = list[i];
                for (int k = i; k > 0; k--) list[k] = list[k - 1];
                list[0] = keep;
                list[0].score = 30000;
            }
        }
        if (best >= 9999 - d || best < d - 9999) break;
    }
    return t->nodes.load();
}

int SearchBench(int argc, char** argv) {
    int depth = argc >= 1 ? atoi(argv[0]) : 12;
    if (depth < 1 || depth > 60) {
        fprintf(stderr, "search depth must be 1 to 60\n");
        return 1;
    }
    InitBenchEnvironment();
    InitKPK();
    SetEvalParams();
    SetSearchParams();
    SearchData.threads = 1;
    SearchData.use_hash = 1;
    SearchData.hash_mb = 64;
    SearchData.hash_age = 1;
    if (!HashInit()) {
        fprintf(stderr, "no memory for the table\n");
        return 1;
    }
    ThreadRecord* t = AllocThreadRecord();
    if (!t) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }
    uint64_t total = 0;
    double secs = 0;
    for (const char* fen : kSearchPositions) {
        if (SetPosition(&t->pos, fen) == -2) continue;
        HashClear();
        double t0 = GetTime();
        uint64_t n = SearchToDepth(t, depth);
        double s = GetTime() - t0;
        printf("%-70s %10llu nodes %7.3f s\n", fen, (unsigned long long)n, s);
        total += n;
        secs += s;
    }
    printf("search depth %d: %llu nodes in %.3f s, %.0f nodes per second\n", depth, (unsigned long long)total, secs,
           secs > 0 ? total / secs : 0.0);
    FreeThreadRecord(t);
    HashFree();
    return 0;
}
