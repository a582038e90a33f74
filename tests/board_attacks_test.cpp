// Attack, legality and check tests.
#include <algorithm>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "test_util.h"

namespace {

int Sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }
Move M(const char* from, const char* to, Move flag = 0) { return (Move)(MakeMoveCode(Sq(from), Sq(to)) | flag); }

const char* kPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
};

class Attacks : public RecordTest {
protected:
    MoveEntry Entry(const Position* pos, Move m) {
        MoveEntry e;
        e.move = m;
        e.score = 0;
        e.piece = pos->board[MoveFrom(m)];
        e.captured = pos->board[MoveTo(m)];
        return e;
    }
    int GivesCheck(const Position* pos, Move m) {
        MoveEntry e = Entry(pos, m);
        return MoveGivesCheck(pos, pos->side, &e);
    }
    // Calls fn at every node of the legal tree down to depth.
    template <class F> void Walk(Position* pos, int depth, F&& fn) {
        fn(pos);
        if (depth == 0) return;
        GenerateAll(pos);
        for (MoveEntry* e = rec->stack[rec->ply].list; e->move != MOVE_END; e++) {
            if (!MoveIsLegal(pos, pos->side, e->move)) continue;
            MakeMove(pos, e->move);
            Walk(pos, depth - 1, fn);
            UnmakeMove(pos);
        }
    }
};

TEST_F(Attacks, SquareAttackedByEachKindOfPiece) {
    Position* pos = Set("4k3/8/8/3p4/8/1N3B2/8/R3K3 w - -");
    EXPECT_TRUE(SqAtakd(pos, Sq("c4"), BLACK));   // pawn d5
    EXPECT_TRUE(SqAtakd(pos, Sq("e4"), BLACK));
    EXPECT_FALSE(SqAtakd(pos, Sq("d4"), BLACK));  // straight ahead is not attacked
    EXPECT_TRUE(SqAtakd(pos, Sq("d4"), WHITE));   // knight b3
    EXPECT_TRUE(SqAtakd(pos, Sq("d5"), WHITE));   // bishop f3 through e4
    EXPECT_FALSE(SqAtakd(pos, Sq("c6"), WHITE));  // bishop blocked by d5
    EXPECT_TRUE(SqAtakd(pos, Sq("a8"), WHITE));   // rook a1 up the file
    EXPECT_TRUE(SqAtakd(pos, Sq("d2"), WHITE));   // king e1
    EXPECT_TRUE(SqAtakd(pos, Sq("d7"), BLACK));   // king e8
    EXPECT_FALSE(SqAtakd(pos, Sq("g1"), WHITE));  // the king on e1 blocks the rook
}

TEST_F(Attacks, CastlingLegality) {
    Position* pos = Set("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    EXPECT_TRUE(MoveIsLegal(pos, WHITE, M("e1", "g1")));
    EXPECT_TRUE(MoveIsLegal(pos, WHITE, M("e1", "c1")));
    pos = Set("r3k2r/8/8/8/4r3/8/8/R3K2R w KQkq -");  // in check
    EXPECT_FALSE(MoveIsLegal(pos, WHITE, M("e1", "g1")));
    EXPECT_FALSE(MoveIsLegal(pos, WHITE, M("e1", "c1")));
    pos = Set("r3k2r/8/8/8/5r2/8/8/R3K2R w KQkq -");  // f1 attacked
    EXPECT_FALSE(MoveIsLegal(pos, WHITE, M("e1", "g1")));
    EXPECT_TRUE(MoveIsLegal(pos, WHITE, M("e1", "c1")));
    pos = Set("r3k2r/8/8/8/6r1/8/8/R3K2R w KQkq -");  // g1 attacked
    EXPECT_FALSE(MoveIsLegal(pos, WHITE, M("e1", "g1")));
    pos = Set("r3k2r/8/8/8/1r6/8/8/R3K2R w KQkq -");  // only b1 attacked: long castling is fine
    EXPECT_TRUE(MoveIsLegal(pos, WHITE, M("e1", "c1")));
    pos = Set("r3k2r/8/8/8/3r4/8/8/R3K2R w KQkq -");  // d1 attacked
    EXPECT_FALSE(MoveIsLegal(pos, WHITE, M("e1", "c1")));
}

TEST_F(Attacks, PinsAndEnPassant) {
    // The en-passant capture would uncover the rook on the fifth rank.
    Position* pos = Set("8/8/8/K2pP2r/8/8/8/7k w - d6");
    EXPECT_FALSE(MoveIsLegal(pos, WHITE, M("e5", "d6")));
    EXPECT_TRUE(MoveIsLegal(pos, WHITE, M("e5", "e6")));
    // The capture of a checking pawn by en passant is legal.
    pos = Set("8/8/8/3pP3/4K3/8/8/7k w - d6");
    EXPECT_TRUE(MoveIsLegal(pos, WHITE, M("e5", "d6")));
    // A pinned bishop may move along the pin only; the king may not step
    // along the checking line away from the rook.
    pos = Set("4r2k/8/8/8/8/8/4B3/4K3 w - -");
    EXPECT_FALSE(MoveIsLegal(pos, WHITE, M("e2", "d3")));
    pos = Set("7k/8/8/8/8/8/8/r3K3 w - -");
    EXPECT_FALSE(MoveIsLegal(pos, WHITE, M("e1", "f1")));
    EXPECT_TRUE(MoveIsLegal(pos, WHITE, M("e1", "e2")));
    // Taking the checker with the king is fine when it is not defended.
    pos = Set("7k/8/8/8/8/8/8/3rK3 w - -");
    EXPECT_TRUE(MoveIsLegal(pos, WHITE, M("e1", "d1")));
    pos = Set("7k/8/8/8/8/8/8/2rrK3 w - -");
    EXPECT_FALSE(MoveIsLegal(pos, WHITE, M("e1", "d1")));
}

TEST_F(Attacks, MoveGivesCheckKinds) {
    // A knight move that uncovers the rook: discovered (2), also when the
    // knight itself gives check.
    Position* pos = Set("4k3/8/8/8/8/4N3/8/4RK2 w - -");
    EXPECT_EQ(GivesCheck(pos, M("e3", "c4")), 2);
    EXPECT_EQ(GivesCheck(pos, M("e3", "d5")), 2);   // no direct check
    EXPECT_EQ(GivesCheck(pos, M("e3", "f5")), 2);   // f5 does not reach e8
    EXPECT_EQ(GivesCheck(pos, M("e3", "d6")) , 2);  // knight checks too
    pos = Set("4k3/8/8/8/8/8/8/4K2R w K -");
    EXPECT_EQ(GivesCheck(pos, M("h1", "h8")), 1);
    EXPECT_EQ(GivesCheck(pos, M("h1", "h7")), 0);
    // Castling whose rook gives check counts as no check.
    pos = Set("5k2/8/8/8/8/8/8/4K2R w K -");
    EXPECT_EQ(GivesCheck(pos, M("e1", "g1")), 0);
    // A promotion checks along the file the pawn has just left.
    pos = Set("8/1P6/8/8/8/8/8/1k5K w - -");
    EXPECT_EQ(GivesCheck(pos, M("b7", "b8", PROMO_QUEEN)), 1);
    EXPECT_EQ(GivesCheck(pos, M("b7", "b8", PROMO_ROOK)), 1);
    EXPECT_EQ(GivesCheck(pos, M("b7", "b8", PROMO_BISHOP)), 0);
    EXPECT_EQ(GivesCheck(pos, M("b7", "b8", PROMO_KNIGHT)), 0);
    // A pawn checks diagonally forward only.
    pos = Set("8/8/3k4/8/4P3/8/8/4K3 w - -");
    EXPECT_EQ(GivesCheck(pos, M("e4", "e5")), 1);
}

TEST_F(Attacks, MoveGivesCheckAgreesWithMakingTheMove) {
    int checked = 0;
    for (const char* fen : kPositions) {
        Position* pos = Set(fen);
        Walk(pos, 2, [&](Position* p) {
            GenerateAll(p);
            for (MoveEntry* e = rec->stack[rec->ply].list; e->move != MOVE_END; e++) {
                const Move m = e->move;
                const int from = MoveFrom(m), to = MoveTo(m);
                const int type = PieceType(e->piece);
                if (type == KING && (to == from + 2 || to == from - 2)) continue;  // rook not considered
                if (type == PAWN && to == p->ep) continue;  // removed pawn not considered
                if (!MoveIsLegal(p, p->side, m)) continue;
                const int s = p->side;
                const int said = MoveGivesCheck(p, s, e);
                MakeMove(p, m);
                const int K = p->king_sq[s ^ 1];
                const bool checks = SqAtakd(p, K, s);
                // Discovered: some piece other than the mover attacks the king.
                const int mover_code = p->board[to];
                p->bb[mover_code] ^= SqBit(to);
                const bool discovered = SqAtakd(p, K, s);
                p->bb[mover_code] ^= SqBit(to);
                UnmakeMove(p);
                char t[16];
                ASSERT_EQ(said != 0, checks) << fen << " " << MoveToStr(m, t);
                ASSERT_EQ(said == 2, discovered) << fen << " " << MoveToStr(m, t);
                checked++;
            }
        });
    }
    EXPECT_GT(checked, 10000);
}

TEST_F(Attacks, MateAndStalemate) {
    EXPECT_EQ(IsMate(Set("7k/6Q1/6K1/8/8/8/8/8 b - -")), 1);  // mate
    EXPECT_EQ(IsMate(Set("7k/8/6QK/8/8/8/8/8 b - -")), 1);   // stalemate
    EXPECT_EQ(IsMate(Set("7k/8/8/6K1/8/8/8/1Q6 b - -")), 0);
    EXPECT_EQ(IsMate(Set(START_FEN)), 0);
    // Only the en-passant capture saves black from stalemate.
    EXPECT_EQ(IsMate(Set("k7/8/1Q6/8/3Pp3/4P3/8/7K b - d3")), 0);
    EXPECT_EQ(IsMate(Set("k7/8/1Q6/8/3Pp3/4P3/8/7K b - -")), 1);
    // IsMate leaves the position and the list cursors alone.
    Position* pos = Set("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
    Position before = *pos;
    MoveEntry* list = rec->stack[1].list;
    IsMate(pos);
    EXPECT_EQ(memcmp(&before, pos, sizeof before), 0);
    EXPECT_EQ(rec->stack[1].list, list);
}

TEST_F(Attacks, HashMoveRefusals) {
    Position* pos = Set("4k3/8/8/8/8/4P3/1P2q3/R3K2R w KQ -");
    EXPECT_FALSE(HashMoveIsLegal(pos, WHITE, M("e1", "e2") & 0));           // null move
    EXPECT_FALSE(HashMoveIsLegal(pos, WHITE, M("e3", "e5")));               // double step from the third rank
    EXPECT_TRUE(HashMoveIsLegal(pos, WHITE, M("b2", "b4")));
    EXPECT_FALSE(HashMoveIsLegal(pos, WHITE, M("b2", "b3", PROMO_QUEEN)));  // promotion short of the last rank
    EXPECT_TRUE(HashMoveIsLegal(pos, WHITE, M("e1", "e2")));                // king takes queen
    EXPECT_FALSE(HashMoveIsLegal(pos, WHITE, M("e1", "g1")));               // in check
    pos = Set("4k3/8/8/8/8/8/8/R3K2R w KQ -");
    EXPECT_TRUE(HashMoveIsLegal(pos, WHITE, M("e1", "g1")));
    EXPECT_TRUE(HashMoveIsLegal(pos, WHITE, M("e1", "c1")));
    EXPECT_FALSE(HashMoveIsLegal(pos, BLACK, M("e8", "g8")));  // no piece of black there to castle with
    pos = Set("4k3/8/8/8/8/8/8/RN2K2R w K -");
    EXPECT_FALSE(HashMoveIsLegal(pos, WHITE, M("e1", "c1")));  // right not held, b1 taken
    pos = Set("4k3/8/8/8/8/8/8/R3K2R w K -");
    EXPECT_FALSE(HashMoveIsLegal(pos, WHITE, M("e1", "c1")));  // right not held
    pos = Set("4k3/8/8/8/8/8/8/RN2K2R w KQ -");
    pos->castle = 3;  // even with the right, the b1 knight is in the way
    EXPECT_FALSE(HashMoveIsLegal(pos, WHITE, M("e1", "c1")));
    pos = Set("4k3/8/8/8/8/8/8/3K3R w - -");
    EXPECT_FALSE(HashMoveIsLegal(pos, WHITE, M("d1", "f1")));  // not from the king's own square
    // The capture of a king, a pawn reaching the last rank without promoting.
    pos = Set("8/1P6/8/8/8/8/8/k1K4R w - -");
    pos->board[Sq("a1")] = 8 + KING;
    EXPECT_FALSE(HashMoveIsLegal(pos, WHITE, M("h1", "a1")));
    EXPECT_FALSE(HashMoveIsLegal(pos, WHITE, M("b7", "b8")));
    EXPECT_TRUE(HashMoveIsLegal(pos, WHITE, M("b7", "b8", PROMO_KNIGHT)));
    EXPECT_FALSE(HashMoveIsLegal(pos, WHITE, M("b7", "b8", PROMO_KNIGHT | PROMO_ROOK)));
}

TEST_F(Attacks, HashMoveIsLegalAcceptsExactlyTheGeneratedMoves) {
    // Every 16-bit code is tried; castling counts only when it is legal.
    int nodes = 0;
    for (const char* fen : kPositions) {
        Position* pos = Set(fen);
        Walk(pos, 1, [&](Position* p) {
            GenerateAll(p);
            std::vector<Move> expected;
            for (MoveEntry* e = rec->stack[rec->ply].list; e->move != MOVE_END; e++) {
                const int from = MoveFrom(e->move), to = MoveTo(e->move);
                bool castling = PieceType(e->piece) == KING && (to == from + 2 || to == from - 2);
                if (castling && !MoveIsLegal(p, p->side, e->move)) continue;
                expected.push_back(e->move);
            }
            std::sort(expected.begin(), expected.end());
            for (uint32_t code = 0; code < 65536; code++) {
                const Move m = (Move)code;
                bool want = std::binary_search(expected.begin(), expected.end(), m);
                char t[16];
                ASSERT_EQ(HashMoveIsLegal(p, p->side, m) != 0, want) << fen << " " << std::hex << code << " "
                                                                      << MoveToStr(m, t);
            }
            nodes++;
        });
    }
    EXPECT_GT(nodes, 100);
}

}  // namespace
