// Legal-move walks over well-known positions: leaf counts, and at every node
// of the smaller walks the consistency of make/unmake, keys and legality.
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "test_util.h"

namespace {

// Everything a position holds must agree with its mailbox.
::testing::AssertionResult Consistent(const Position* pos) {
    Position fresh;
    memset(&fresh, 0, sizeof fresh);
    for (int sq = 0; sq < 64; sq++) {
        int code = pos->board[sq];
        if (!code) continue;
        int c = PieceColor(code), t = PieceType(code);
        fresh.bb[code] |= SqBit(sq);
        fresh.bb[8 * c] |= SqBit(sq);
        fresh.material[c] += msig[t];
        fresh.npm[c] += npv[t];
        if (t == KING) fresh.king_sq[c] = (uint8_t)sq;
    }
    if (pos->board[64] != 0) return ::testing::AssertionFailure() << "sentinel square not empty";
    for (int i = 0; i < 16; i++)
        if (fresh.bb[i] != pos->bb[i]) return ::testing::AssertionFailure() << "bitboard " << i << " disagrees with the board";
    for (int c = 0; c < 2; c++) {
        if (fresh.material[c] != pos->material[c]) return ::testing::AssertionFailure() << "material of side " << c;
        if (fresh.npm[c] != pos->npm[c]) return ::testing::AssertionFailure() << "npm of side " << c;
        if (fresh.king_sq[c] != pos->king_sq[c]) return ::testing::AssertionFailure() << "king square of side " << c;
    }
    if (ComputeKey(pos) != pos->key) return ::testing::AssertionFailure() << "incremental key differs from the key from scratch";
    if (ComputePawnKey(pos) != pos->pawn_key) return ::testing::AssertionFailure() << "incremental pawn key differs";
    return ::testing::AssertionSuccess();
}

struct Snapshot {
    Position pos;
    int16_t game_ply, ply;
    uint16_t last_move;
};

Snapshot Take(const Position* pos) {
    Snapshot s;
    memcpy(&s.pos, pos, sizeof s.pos);
    s.game_ply = pos->owner->game_ply;
    s.ply = pos->owner->ply;
    s.last_move = pos->owner->last_move;
    return s;
}

// Walks the tree checking every pseudo-legal move of every node; returns leaves.
uint64_t CheckedPerft(Position* pos, int depth, int* failures) {
    ThreadRecord* rec = pos->owner;
    GenerateAll(pos);
    uint64_t n = 0;
    char text[16];
    for (MoveEntry* e = rec->stack[rec->ply].list; e->move != MOVE_END; e++) {
        if (*failures > 10) return n;
        const int s = pos->side;
        const int said_legal = MoveIsLegal(pos, s, e->move);
        Snapshot before = Take(pos);
        if (memcmp(&before.pos, pos, sizeof *pos) != 0) {
            ADD_FAILURE() << "MoveIsLegal changed the position";
            ++*failures;
        }
        // Castling may neither start from nor pass over an attacked square.
        const int from = MoveFrom(e->move), to = MoveTo(e->move);
        const bool castling = PieceType(e->piece) == KING && (to == from + 2 || to == from - 2);
        const bool castle_ok = !castling || (!SqAtakd(pos, from, s ^ 1) && !SqAtakd(pos, (from + to) / 2, s ^ 1));
        MakeMove(pos, e->move);
        const int is_legal = castle_ok && !SqAtakd(pos, pos->king_sq[s], s ^ 1);
        if (said_legal != is_legal) {
            ADD_FAILURE() << "MoveIsLegal says " << said_legal << " for " << MoveToStr(e->move, text);
            ++*failures;
        }
        auto ok = Consistent(pos);
        if (!ok) {
            ADD_FAILURE() << ok.message() << " after " << MoveToStr(e->move, text);
            ++*failures;
        }
        if (is_legal) n += depth == 1 ? 1 : CheckedPerft(pos, depth - 1, failures);
        UnmakeMove(pos);
        Snapshot after = Take(pos);
        if (memcmp(&before.pos, &after.pos, sizeof before.pos) != 0 || before.game_ply != after.game_ply ||
            before.ply != after.ply || before.last_move != after.last_move) {
            ADD_FAILURE() << "unmaking " << MoveToStr(e->move, text) << " did not restore the position";
            ++*failures;
        }
    }
    return n;
}

class Perft : public BoardTest {};

// The published leaf counts; at every node make/unmake restores everything,
// the kept keys equal keys from scratch and MoveIsLegal agrees with
// making the move and testing the own king.
TEST_F(Perft, PublishedCountsWithEveryNodeChecked) {
    ThreadRecord* t = NewTestRecord();
    for (const auto& c : kPerftCases) {
        Position* pos = SetTestPosition(t, c.fen);
        int failures = 0;
        EXPECT_EQ(CheckedPerft(pos, c.depth, &failures), c.leaves) << c.fen;
        EXPECT_EQ(failures, 0) << c.fen;
        EXPECT_EQ(t->ply, 1);
        EXPECT_EQ(t->game_ply, 0);
    }
    Position* pos = SetTestPosition(t, kMirroredPerftCase.fen);
    int failures = 0;
    EXPECT_EQ(CheckedPerft(pos, kMirroredPerftCase.depth, &failures), kMirroredPerftCase.leaves);
    EXPECT_EQ(failures, 0);
    FreeThreadRecord(t);
}

}  // namespace
