// Making and unmaking moves and null moves: the fields each move changes,
// the keys, the history entry, the game-ply limit.
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "test_util.h"

namespace {

int Sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }
Move M(const char* from, const char* to, Move flag = 0) { return (Move)(MakeMoveCode(Sq(from), Sq(to)) | flag); }

class MakeUnmake : public RecordTest {
protected:
    // Key of the position text, read from scratch.
    uint64_t KeyOf(const char* fen) {
        ThreadRecord* other = NewTestRecord();
        uint64_t k = SetTestPosition(other, fen)->key;
        FreeThreadRecord(other);
        return k;
    }
};

TEST_F(MakeUnmake, SpecialMovesRestoreEverything) {
    struct Case {
        const char* fen;
        Move move;
        const char* after;  // position text after the move
    } cases[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", M("e1", "g1"), "r3k2r/8/8/8/8/8/8/R4RK1 b kq -"},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", M("e1", "c1"), "r3k2r/8/8/8/8/8/8/2KR3R b kq -"},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", M("e8", "c8"), "2kr3r/8/8/8/8/8/8/R3K2R w KQ -"},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6", M("e5", "d6"), "4k3/8/3P4/8/8/8/8/4K3 b - -"},
        {"4k3/8/8/8/3Pp3/8/8/4K3 b - d3", M("e4", "d3"), "4k3/8/8/8/8/3p4/8/4K3 w - -"},
        {"1r2k3/P7/8/8/8/8/8/4K3 w - -", M("a7", "b8", PROMO_KNIGHT), "1N2k3/8/8/8/8/8/8/4K3 b - -"},
        {"4k3/P7/8/8/8/8/8/4K3 w - -", M("a7", "a8", PROMO_QUEEN), "Q3k3/8/8/8/8/8/8/4K3 b - -"},
        {"4k3/8/8/8/8/8/p7/1R2K3 b - -", M("a2", "b1", PROMO_ROOK), "4k3/8/8/8/8/8/8/1r2K3 w - -"},
        {"4k3/8/8/8/8/8/6p1/4K2R b K -", M("g2", "h1", PROMO_BISHOP), "4k3/8/8/8/8/8/8/4K2b w - -"},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", M("a1", "a8"), "R3k2r/8/8/8/8/8/8/4K2R b Kk -"},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", M("h8", "h1"), "r3k3/8/8/8/8/8/8/R3K2r w Qq -"},
    };
    for (const auto& c : cases) {
        Position* pos = Set(c.fen);
        Position before;
        memcpy(&before, pos, sizeof before);
        MakeMove(pos, c.move);
        char text[128];
        MakeEPD(pos, text);
        EXPECT_STREQ(text, c.after) << c.fen;
        EXPECT_EQ(pos->key, KeyOf(c.after)) << c.fen;
        EXPECT_EQ(pos->pawn_key, ComputePawnKey(pos)) << c.fen;
        EXPECT_EQ(rec->game_ply, 1);
        EXPECT_EQ(rec->ply, 2);
        EXPECT_EQ(rec->last_move, c.move);
        EXPECT_EQ(rec->undo[0].move, c.move);
        EXPECT_EQ(rec->undo[0].key, before.key);
        UnmakeMove(pos);
        EXPECT_EQ(memcmp(&before, pos, sizeof before), 0) << "not restored: " << c.fen;
        EXPECT_EQ(rec->game_ply, 0);
        EXPECT_EQ(rec->ply, 1);
        EXPECT_EQ(rec->last_move, 0);
    }
}

TEST_F(MakeUnmake, HistoryEntryRecordsTheStateBeforeTheMove) {
    Position* pos = Set("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    MakeMove(pos, M("a1", "a8"));  // rook takes rook
    const UndoEntry& u = rec->undo[0];
    EXPECT_EQ(u.captured, ROOK);  // the type, not the code
    EXPECT_EQ(u.castle, 15);
    EXPECT_EQ(u.ep, NO_SQ);
    Position* p2 = Set("4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    MakeMove(p2, M("e5", "d6"));
    EXPECT_EQ(rec->undo[0].captured, 0);  // en passant stores no capture
    EXPECT_EQ(rec->undo[0].ep, Sq("d6"));
    EXPECT_EQ(p2->material[BLACK], 0u);
}

TEST_F(MakeUnmake, DoubleStepAlwaysSetsTheEnPassantSquare) {
    Position* pos = Set(START_FEN);
    MakeMove(pos, M("e2", "e4"));
    EXPECT_EQ(pos->ep, Sq("e3"));
    const uint64_t with_ep = pos->key;
    EXPECT_EQ(with_ep, KeyOf("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3"));
    // The same placement reached by two single steps has no en-passant key.
    Position* p2 = Set(START_FEN);
    MakeMove(p2, M("e2", "e3"));
    MakeMove(p2, M("g8", "f6"));
    MakeMove(p2, M("e3", "e4"));
    MakeMove(p2, M("f6", "g8"));
    EXPECT_EQ(p2->ep, NO_SQ);
    EXPECT_EQ(p2->side, WHITE);
    MakeNullMove(p2);
    EXPECT_NE(p2->key, with_ep);
    EXPECT_EQ(p2->key ^ with_ep, rtable[0][Sq("e3")] & ~1ULL);
}

TEST_F(MakeUnmake, FiftyMoveCounter) {
    // Captures and pawn moves reset the counter, for both colours; taking
    // the move back restores it.
    Position* pos = Set("4k3/8/8/n2p4/4P3/1B6/8/R3K3 w - -");
    pos->fifty = 30;
    struct Step {
        const char* from;
        const char* to;
        int fifty;
        const char* what;
    } white[] = {{"a1", "a5", 0, "a rook capture"}, {"e4", "e5", 0, "a pawn step"}, {"e4", "d5", 0, "a pawn capture"},
                 {"b3", "c4", 31, "a bishop move"}},
      black[] = {{"a5", "b3", 0, "a knight capture"}, {"d5", "d4", 0, "a pawn step"}, {"d5", "e4", 0, "a pawn capture"},
                 {"a5", "c6", 32, "a knight move"}};
    for (const Step& s : white) {
        MakeMove(pos, M(s.from, s.to));
        EXPECT_EQ((int)pos->fifty, s.fifty) << "after " << s.what << " (" << s.from << s.to << ")";
        UnmakeMove(pos);
        EXPECT_EQ(pos->fifty, 30);
    }
    MakeMove(pos, M("e1", "e2"));
    for (const Step& s : black) {
        MakeMove(pos, M(s.from, s.to));
        EXPECT_EQ((int)pos->fifty, s.fifty) << "after " << s.what << " (" << s.from << s.to << ")";
        UnmakeMove(pos);
        EXPECT_EQ(pos->fifty, 31);
    }
    // Rook and king moves count; castling resets.
    pos = Set("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    MakeMove(pos, M("a1", "b1"));
    EXPECT_EQ(pos->fifty, 1);
    MakeMove(pos, M("e8", "e7"));  // king move without castling
    EXPECT_EQ(pos->fifty, 2);
    MakeMove(pos, M("e1", "g1"));  // castling resets
    EXPECT_EQ(pos->fifty, 0);
    // The counter stops at 255 instead of wrapping to 0.
    pos = Set("4k3/8/8/8/8/8/8/4K2R w - -");
    pos->fifty = 253;
    const char* shuffle[4][2] = {{"h1", "h2"}, {"e8", "d8"}, {"h2", "h1"}, {"d8", "e8"}};
    for (int i = 0; i < 4; i++) MakeMove(pos, M(shuffle[i][0], shuffle[i][1]));
    EXPECT_EQ(pos->fifty, 255);
    MakeNullMove(pos);
    EXPECT_EQ(pos->fifty, 255);
    UnmakeNullMove(pos);
    for (int i = 0; i < 4; i++) UnmakeMove(pos);
    EXPECT_EQ(pos->fifty, 253);
}

TEST_F(MakeUnmake, CapturingACornerRookDropsThatRight) {
    Position* pos = Set("r3k2r/8/8/8/8/8/6B1/R3K2R w KQkq -");
    MakeMove(pos, M("g2", "a8"));  // bishop takes rook on a8
    EXPECT_EQ(pos->castle, 1 | 2 | 4);
    pos = Set("r3k2r/8/8/8/8/8/1B6/R3K2R w KQkq -");
    const uint64_t before = pos->key;
    MakeMove(pos, M("b2", "h8"));
    EXPECT_EQ(pos->castle, 1 | 2 | 8);
    // The key changes by both rights keys (besides the pieces and the side).
    uint64_t expect = before ^ rtable[0][15] ^ rtable[0][11] ^ rtable[3][Sq("b2")] ^ rtable[3][Sq("h8")] ^
                      rtable[12][Sq("h8")];
    EXPECT_EQ(pos->key, (expect & ~1ULL) | 1);
}

TEST_F(MakeUnmake, NullMove) {
    Position* pos = Set("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
    Position before;
    memcpy(&before, pos, sizeof before);
    MakeMove(pos, M("g8", "f6"));
    Position mid;
    memcpy(&mid, pos, sizeof mid);
    MakeMove(pos, M("d2", "d4"));
    MakeNullMove(pos);
    EXPECT_EQ(pos->ep, NO_SQ);
    EXPECT_EQ(pos->side, WHITE);
    EXPECT_EQ(pos->fifty, 1);
    EXPECT_EQ(rec->last_move, 0);
    EXPECT_EQ(rec->undo[2].move, 0);
    EXPECT_EQ(pos->key, ComputeKey(pos));
    EXPECT_EQ(pos->pawn_key, ComputePawnKey(pos));
    UnmakeNullMove(pos);
    EXPECT_EQ(pos->ep, Sq("d3"));
    EXPECT_EQ(pos->side, BLACK);
    EXPECT_EQ(rec->last_move, M("d2", "d4"));
    UnmakeMove(pos);
    EXPECT_EQ(memcmp(&mid, pos, sizeof mid), 0);
    UnmakeMove(pos);
    EXPECT_EQ(memcmp(&before, pos, sizeof before), 0);
    EXPECT_EQ(rec->game_ply, 0);
}

TEST_F(MakeUnmake, KeysAfterAGameEqualTheKeysOfItsText) {
    Position* pos = Set(START_FEN);
    const char* game[][2] = {{"e2", "e4"}, {"c7", "c5"}, {"g1", "f3"}, {"d7", "d6"}, {"f1", "b5"},
                             {"c8", "d7"}, {"e1", "g1"}, {"d7", "b5"}, {"b1", "c3"}, {"b5", "f1"}};
    for (auto& mv : game) MakeMove(pos, M(mv[0], mv[1]));
    EXPECT_EQ(pos->key, KeyOf("rn1qkbnr/pp2pppp/3p4/2p5/4P3/2N2N2/PPPP1PPP/R1BQ1bK1 w kq -"));
    EXPECT_EQ(rec->game_ply, 10);
}

TEST_F(MakeUnmake, GameMovesStopAtTheLongestAcceptedGame) {
    Position* pos = Set("4k3/8/8/8/8/8/8/R3K3 w - -");
    const char* cycle[4][2] = {{"a1", "a2"}, {"e8", "d8"}, {"a2", "a1"}, {"d8", "e8"}};
    int made = 0;
    while (CanAddGameMove(pos)) {
        MakeMove(pos, M(cycle[made % 4][0], cycle[made % 4][1]));
        made++;
        ASSERT_LE(made, MAX_GAME_PLY);
    }
    EXPECT_EQ(made, MAX_GAME_PLY);
    EXPECT_EQ(rec->game_ply, MAX_GAME_PLY);
    // A full-depth line of search moves still fits on top.
    for (int i = 0; i < MAX_PLY; i++) MakeNullMove(pos);
    EXPECT_LE(rec->game_ply, UNDO_SIZE);
    for (int i = 0; i < MAX_PLY; i++) UnmakeNullMove(pos);
    EXPECT_EQ(pos->key, KeyOf("4k3/8/8/8/8/8/8/R3K3 w - -"));
}

}  // namespace
