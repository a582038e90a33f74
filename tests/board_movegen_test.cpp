// Move generation: what each generator writes and in which order.
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/movegen.h"
#include "test_util.h"

namespace {

int Sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }

std::string Text(Move m) {
    char buf[16];
    bool uci = PBlock.uci;
    PBlock.uci = 1;
    MoveToStr(m, buf);
    PBlock.uci = uci;
    return buf;
}

std::vector<std::string> Texts(const MoveEntry* begin, const MoveEntry* end) {
    std::vector<std::string> v;
    for (const MoveEntry* e = begin; e < end; e++) v.push_back(Text(e->move));
    return v;
}

std::string Join(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& t : v) s += (s.empty() ? "" : " ") + t;
    return s;
}

class MoveGen : public RecordTest {
protected:
    MoveEntry buf[MAX_LIST_MOVES];
};

TEST_F(MoveGen, StartPositionListInItsFixedOrder) {
    Position* pos = Set(START_FEN);
    GenerateAll(pos);
    SearchStackEntry& e = rec->stack[1];
    EXPECT_EQ(e.list, &rec->move_store[1]);
    EXPECT_EQ(e.next, e.list);
    const MoveEntry* end = e.list;
    while (end->move != MOVE_END) end++;
    EXPECT_EQ(Join(Texts(e.list, end)),
              "a2a3 b2b3 c2c3 d2d3 e2e3 f2f3 g2g3 h2h3 a2a4 b2b4 c2c4 d2d4 e2e4 f2f4 g2g4 h2h4 "
              "b1a3 b1c3 g1f3 g1h3");
    EXPECT_EQ(e.list[0].piece, PAWN);
    EXPECT_EQ(e.list[0].captured, 0);
    EXPECT_EQ(e.list[16].piece, KNIGHT);
    // The next plies' lists follow the end entry.
    EXPECT_EQ(rec->stack[2].list, end + 1);
    EXPECT_EQ(rec->stack[3].list, end + 2);
}

TEST_F(MoveGen, CapturesComeByKindInAFixedOrder) {
    // White pawns capture toward the a-file first, then toward the h-file;
    // then knights, bishops, rooks, queens and the king.
    Position* pos = Set("4k3/8/2p1p3/1p1P1b2/2P1q3/3N1K2/8/R3r3 w - -");
    MoveEntry* end = GenerateCaptures(pos, WHITE, buf, NO_SQ);
    EXPECT_EQ(Join(Texts(buf, end)), "c4b5 d5c6 d5e6 d3e1 a1e1 f3e4");
    EXPECT_EQ(buf[0].piece, PAWN);
    EXPECT_EQ(buf[0].captured, 8 + PAWN);
    EXPECT_EQ(buf[5].captured, 8 + QUEEN);
    // With a target only that square is captured, but the king still takes anything.
    end = GenerateCaptures(pos, WHITE, buf, Sq("e1"));
    EXPECT_EQ(Join(Texts(buf, end)), "d3e1 a1e1 f3e4");
    // Black: toward the a-file is from - 9, toward the h-file from - 7.
    pos = Set("4k3/8/8/8/2p1p3/3P4/8/4K3 b - -");
    end = GenerateCaptures(pos, BLACK, buf, NO_SQ);
    EXPECT_EQ(Join(Texts(buf, end)), "e4d3 c4d3");
}

TEST_F(MoveGen, QuietMovesWithACheckerOnlyBlockOrMoveTheKing) {
    // The rook on e8 checks the king on e1: the knight may block on e2 or e4,
    // the bishop on e3; its other moves are left out. King moves and
    // castling are not restricted.
    Position* pos = Set("4r1k1/8/8/8/8/2N5/8/R3K1BR w Q -");
    MoveEntry* end = GenerateQuiets(pos, WHITE, buf, Sq("e8"));
    EXPECT_EQ(Join(Texts(buf, end)), "c3e2 c3e4 g1e3 e1d1 e1f1 e1d2 e1e2 e1f2 e1c1");
    // A knight checker leaves no blocking squares.
    pos = Set("4k3/8/8/8/8/3n4/8/R3K2R w - -");
    end = GenerateQuiets(pos, WHITE, buf, Sq("d3"));
    for (MoveEntry* e = buf; e < end; e++) EXPECT_EQ(e->piece, KING) << Text(e->move);
}

TEST_F(MoveGen, EnPassantCaptureIsWrittenWithoutAVictim) {
    // Black is in check by the rook; the en-passant capture is generated
    // all the same (the target restricts only the other victims).
    Position* pos = Set("8/8/8/8/k2Pp3/8/8/R3K3 b - d3");
    MoveEntry* end = GenerateCaptures(pos, BLACK, buf, Sq("a1"));
    ASSERT_EQ(Join(Texts(buf, end)), "e4d3");
    EXPECT_EQ(buf[0].captured, 0);
    EXPECT_EQ(buf[0].piece, 8 + PAWN);
}

TEST_F(MoveGen, PawnsOnTheSeventhOnlyPromote) {
    Position* pos = Set("1n2k3/P1P5/8/8/8/8/8/4K3 w - -");
    MoveEntry* caps = GenerateCaptures(pos, WHITE, buf, NO_SQ);
    EXPECT_EQ(caps, buf);  // a7xb8 and c7xb8 are promotions, not captures
    MoveEntry* quiets = GenerateQuiets(pos, WHITE, buf, NO_SQ);
    for (MoveEntry* e = buf; e < quiets; e++) EXPECT_EQ(e->piece, KING) << Text(e->move);
    MoveEntry* end = GeneratePromotions(pos, WHITE, 0, buf);
    EXPECT_EQ(Join(Texts(buf, end)), "a7a8q a7b8q c7c8q c7b8q");
    EXPECT_EQ(buf[1].captured, 8 + KNIGHT);
    end = GeneratePromotions(pos, WHITE, 1, buf);
    EXPECT_EQ(Join(Texts(buf, end)),
              "a7a8q a7a8n a7a8b a7a8r a7b8q a7b8n a7b8b a7b8r c7c8q c7c8n c7c8b c7c8r c7b8q c7b8n c7b8b c7b8r");
    // Black promotes on the first rank; a blocked pawn can only capture.
    pos = Set("4k3/8/8/8/8/8/p6p/1R2K1BN b - -");
    end = GeneratePromotions(pos, BLACK, 0, buf);
    EXPECT_EQ(Join(Texts(buf, end)), "a2a1q a2b1q h2g1q");
    // Pawns next to the edge take toward it: b-pawns onto the a-file, g-pawns
    // onto the h-file, for both colours.
    pos = Set("rn2k1nr/1P4P1/8/8/8/8/8/4K3 w - -");
    end = GeneratePromotions(pos, WHITE, 0, buf);
    EXPECT_EQ(Join(Texts(buf, end)), "b7a8q g7h8q") << "blocked pawns on b7 and g7 may only take into the corners";
    pos = Set("4k3/8/8/8/8/8/1p4p1/RN2K1NR b - -");
    end = GeneratePromotions(pos, BLACK, 0, buf);
    EXPECT_EQ(Join(Texts(buf, end)), "b2a1q g2h1q") << "blocked pawns on b2 and g2 may only take into the corners";
}

TEST_F(MoveGen, CastlingNeedsRightAndEmptySquaresOnly) {
    // Generated although the king is in check (queen e2) and passes squares
    // that white attacks (f8 by the bishop, d8 by the rook): the legality
    // test comes later.
    Position* pos = Set("r3k2r/8/8/8/8/B7/4Q3/R2RK3 b kq -");
    ASSERT_TRUE(SqAtakd(pos, Sq("e8"), WHITE));
    ASSERT_TRUE(SqAtakd(pos, Sq("f8"), WHITE));
    ASSERT_TRUE(SqAtakd(pos, Sq("d8"), WHITE));
    MoveEntry* end = GenerateQuiets(pos, BLACK, buf, NO_SQ);
    std::string all = Join(Texts(buf, end));
    EXPECT_NE(all.find("e8g8 e8c8"), std::string::npos) << all;
    pos = Set("rn2k1nr/8/8/8/8/8/8/R3K2R b KQq -");
    end = GenerateQuiets(pos, BLACK, buf, NO_SQ);
    all = Join(Texts(buf, end));
    EXPECT_EQ(all.find("e8g8"), std::string::npos) << all;  // no right, g8 taken
    EXPECT_EQ(all.find("e8c8"), std::string::npos) << all;  // b8 taken
}

TEST_F(MoveGen, NullMoveList) {
    Position* pos = Set(START_FEN);
    GenerateNullMove(pos);
    SearchStackEntry& e = rec->stack[1];
    EXPECT_EQ(e.list[0].move, 0);
    EXPECT_EQ(e.list[1].move, MOVE_END);
    EXPECT_EQ(e.next, e.list);
    EXPECT_EQ(rec->stack[2].list, e.list + 2);
    EXPECT_EQ(rec->stack[3].list, e.list + 3);
}

}  // namespace
