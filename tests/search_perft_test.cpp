// Perft through the staged move picker: the published leaf counts, and counts
// that do not depend on how the ordering tables order the moves.
#include <vector>

#include "board/perft.h"
#include "search/ordering.h"
#include "test_util.h"

namespace {

// The published counts and the mirrored fourth position.
std::vector<PerftCase> AllCases() {
    std::vector<PerftCase> v(std::begin(kPerftCases), std::end(kPerftCases));
    v.push_back(kMirroredPerftCase);
    return v;
}

uint64_t RunPerft(ThreadRecord* t, int depth) {
    t->nodes.store(0);
    Perft2(t, t->pos.side, 1, depth);
    return t->nodes.load();
}

class PickerPerft : public BoardTest {};

TEST_F(PickerPerft, PublishedCounts) {
    ThreadRecord* t = NewTestRecord();
    ResetOrdering(t);
    for (const auto& c : AllCases()) {
        SetTestPosition(t, c.fen);
        EXPECT_EQ(RunPerft(t, c.depth), c.leaves) << c.fen;
        EXPECT_EQ(t->ply, 1);
        EXPECT_EQ(t->game_ply, 0);
    }
    SetTestPosition(t, kPerftCases[0].fen);
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
    for (const auto& c : AllCases()) {
        if (c.leaves > 1000000) continue;
        SetTestPosition(t, c.fen);
        EXPECT_EQ(RunPerft(t, c.depth), c.leaves) << c.fen;
    }
    FreeThreadRecord(t);
}

}  // namespace
