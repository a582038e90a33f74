// Evaluations per second over a fixed set of positions, on one core: with no
// cache help, with the pawn hash, and with the evaluation cache answering.
#include <cstdio>
#include <cstdlib>

#include "base/settings.h"
#include "board/attacks.h"
#include "board/keys.h"
#include "board/position.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "eval/params.h"
#include "platform/platform.h"
#include "search/records.h"
#include "tests/bench/bench.h"

namespace {

const char* const kPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ - 0 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "r1b1k2r/ppppqppp/2n2n2/2b1p3/2B1P3/2NP1N2/PPP1QPPP/R1B1K2R w KQkq - 0 1",
    "2kr3r/pp1q1ppp/2n1bn2/2bpp3/4P3/2NP1N2/PPPBBPPP/R2Q1RK1 b - - 0 1",
    "r2q1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1PN1PN2/PB2BPPP/R2Q1RK1 w - - 0 10",
    "3r1rk1/p4ppp/1pn1b3/2p1P3/2P1n3/2N1BN2/PP3PPP/3R1RK1 w - - 0 1",
    "rnbq1rk1/ppp1ppbp/3p1np1/8/2PPP3/2N2N2/PP2BPPP/R1BQK2R b KQ - 0 1",
    "2r3k1/pp3ppp/4p3/3pP3/3P1P2/P1R3P1/1P5P/6K1 w - - 0 1",
    "3q1rk1/5ppp/8/2Q5/8/8/5PPP/3R2K1 b - - 0 1",
    "8/5pk1/6p1/3B4/1b3P2/6P1/5K2/8 w - - 0 1",
    "6k1/5ppp/8/1P6/8/8/5PPP/6K1 w - - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "4r1k1/1p3ppp/p1p5/8/2P5/1P3N2/P4PPP/4R1K1 b - - 0 1",
    "8/8/4k3/3p4/3P1K2/8/8/8 w - - 0 1",
    "8/3k4/8/2PK4/8/8/8/8 w - - 0 1",
    "5rk1/pp4pp/4p3/2R5/3n4/8/PP3PPP/5RK1 w - - 0 1",
    "r5k1/5ppp/1p6/p1p5/2P5/1P4P1/P4P1P/3R2K1 w - - 0 1",
    "1r4k1/5p1p/6p1/8/1p6/1Pr2P2/2R3PP/2R3K1 b - - 0 1",
    "8/1p4kp/p5p1/3Q4/8/6PP/5PK1/3q4 w - - 0 1",
    "4k3/8/8/8/8/8/8/4KBN1 w - - 0 1",
    "8/8/8/4k3/8/8/8/R3K3 w - - 0 1",
};
constexpr int kCount = sizeof kPositions / sizeof kPositions[0];

double Run(ThreadRecord* rec, Position* set, int rounds, int depth, int ply, long* sink) {
    rec->depth = (uint8_t)depth;
    double t0 = GetTime();
    for (int r = 0; r < rounds; r++)
        for (int i = 0; i < kCount; i++) {
            rec->pos = set[i];
            *sink += Evaluate(rec, set[i].side, ply, 0, 0);
        }
    double secs = GetTime() - t0;
    return secs > 0 ? (double)rounds * kCount / secs : 0.0;
}

}  // namespace

int EvalBench(int argc, char** argv) {
    int rounds = argc >= 1 ? atoi(argv[0]) : 20000;
    if (rounds < 1) {
        fprintf(stderr, "eval rounds must be at least 1\n");
        return 1;
    }
    InitBoardTables();
    MakeKeys();
    InitKPK();
    InitControlBlock();
    InitSearchData();
    SetDefaultSettings();
    Personality = DefaultPersonality;
    SetEvalParams();
    ThreadRecord* rec = AllocThreadRecord();
    if (!rec) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }
    static Position set[kCount];
    for (int i = 0; i < kCount; i++) {
        rec->pos.owner = rec;
        if (SetPosition(&rec->pos, kPositions[i]) == -2 ||
            SqAtakd(&rec->pos, rec->pos.king_sq[rec->pos.side], rec->pos.side ^ 1)) {
            fprintf(stderr, "bad bench position %s\n", kPositions[i]);
            FreeThreadRecord(rec);
            return 1;
        }
        set[i] = rec->pos;
    }
    long sink = 0;
    double cold = Run(rec, set, rounds, 0, 1, &sink);
    double pawn = Run(rec, set, rounds, 1, 1, &sink);
    double cached = Run(rec, set, rounds, 2, 2, &sink);
    printf("eval: %d positions x %d rounds; evaluations per second: %.2f million without caches, "
           "%.2f million with the pawn hash, %.2f million from the evaluation cache (checksum %ld)\n",
           kCount, rounds, cold / 1e6, pawn / 1e6, cached / 1e6, sink);
    FreeThreadRecord(rec);
    return 0;
}
