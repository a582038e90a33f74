// Perft through the staged move picker: the published leaf counts, and counts
// that do not depend on how the ordering tables order the moves.
#include "board/perft.h"
#include "search/ordering.h"
#include "test_util.h"

namespace {

struct PerftCase {
    const char* fen;
    int depth;
    uint64_t leaves;
};

const PerftCase kCases[] = {
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", 5, 4865609},
    {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 4, 4085603},
    {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -", 5, 674624},
    {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -", 4, 422333},
    {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -", 4, 2103487},
    {"r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ -", 4, 422333},
};

uint64_t RunPerft(ThreadRecord* t, int depth) {
    t->nodes.store(0);
    Perft2(t, t->pos.side, 1, depth);
    return t->nodes.load();
}

class PickerPerft : public BoardTest {};

TEST_F(PickerPerft, PublishedCounts) {
    ThreadRecord* t = NewTestRecord();
    ResetOrdering(t);
    for (const auto& c : kCases) {
        SetTestPosition(t, c.fen);
        EXPECT_EQ(RunPerft(t, c.depth), c.leaves) << c.fen;
        EXPECT_EQ(t->ply, 1);
        EXPECT_EQ(t->game_ply, 0);
    }
    SetTestPosition(t, kCases[0].fen);
    EXPECT_EQ(RunPerft(t, 1), 20u);
    EXPECT_EQ(RunPerft(t, 2), 400u);
    FreeThreadRecord(t);
}

// Scrambled history and counter tables change the order of the quiet moves
// (and the killers that come out of stage 0 of other plies) but not the count.
TEST_F(PickerPerft, CountDoesNotDependOnOrdering) {
    ThreadRecord* t = NewTestRecord();
    uint32_t seed = 12345;
    auto next = [&seed]() { return seed = seed * 1103515245u + 12345u; };
    for (auto& layer : t->history)
        for (auto& row : layer)
            for (auto& h : row) h = (int16_t)(next() % 16385);
    for (int p = 0; p < 16; p++)
        for (int sq = 0; sq < 64; sq++) {
            t->counter_move[p][sq] = (Move)(next() & 0x3F3F);
            t->followup_move[p][sq] = (Move)(next() & 0x3F3F);
        }
    for (const auto& c : kCases) {
        if (c.leaves > 1000000) continue;
        SetTestPosition(t, c.fen);
        EXPECT_EQ(RunPerft(t, c.depth), c.leaves) << c.fen;
    }
    FreeThreadRecord(t);
}

}  // namespace
