// Position text in and out, moves as text, typed moves.
#include <cstring>
#include <string>

#include "board/attacks.h"
#include "board/makemove.h"
#include "test_util.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

int Sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }
Move M(const char* from, const char* to, Move flag = 0) { return (Move)(MakeMoveCode(Sq(from), Sq(to)) | flag); }

std::string Epd(const Position* pos) {
    char buf[128];
    MakeEPD(pos, buf);
    return buf;
}

class PositionText : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        rec = NewTestRecord();
        saved_uci = PBlock.uci;
    }
    void TearDown() override {
        FreeThreadRecord(rec);
        PBlock.uci = saved_uci;
    }
    ThreadRecord* rec = nullptr;
    uint16_t saved_uci = 1;
};

TEST_F(PositionText, StartPositionAndRoundTrips) {
    Position* pos = &rec->pos;
    EXPECT_EQ(SetPosition(pos, START_FEN), 0);
    EXPECT_EQ(Epd(pos), START_FEN);
    EXPECT_EQ(pos->side, WHITE);
    EXPECT_EQ(pos->castle, 15);
    EXPECT_EQ(pos->ep, NO_SQ);
    EXPECT_EQ(pos->king_sq[WHITE], Sq("e1"));
    EXPECT_EQ(pos->king_sq[BLACK], Sq("e8"));
    EXPECT_EQ(pos->material[WHITE], 8u + 2 * 16 + 2 * 256 + 2 * 4096 + 65536);
    EXPECT_EQ(pos->npm[BLACK], 2 * 3 + 2 * 3 + 2 * 5 + 10);
    EXPECT_EQ(pos->board[64], 0);
    EXPECT_EQ(pos->owner, rec);
    const char* texts[] = {
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
        "rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b Kq e3",
        "4k3/8/8/3pP3/8/8/8/4K3 w - d6",
        "8/8/8/8/8/8/8/K6k b - -",
    };
    for (const char* t : texts) {
        EXPECT_EQ(SetPosition(pos, t), 0) << t;
        EXPECT_EQ(Epd(pos), t);
    }
}

std::string Fen(const Position* pos) {
    char buf[128];
    MakeFEN(pos, buf);
    return buf;
}

TEST_F(PositionText, CountersAreReadAndOpcodesIgnored) {
    Position* pos = &rec->pos;
    EXPECT_EQ(SetPosition(pos, "4k3/8/8/8/8/8/8/4K2R w K - 25 60"), 0);
    EXPECT_EQ(pos->fifty, 25);
    EXPECT_EQ(FullMoveNumber(pos), 60);
    EXPECT_EQ(Epd(pos), "4k3/8/8/8/8/8/8/4K2R w K -") << "EPD text has no counters";
    EXPECT_EQ(Fen(pos), "4k3/8/8/8/8/8/8/4K2R w K - 25 60");
    // EPD: no counters, or operations in their place, read as 0 and 1.
    EXPECT_EQ(SetPosition(pos, "4k3/8/8/8/8/8/8/4K2R b K - bm Rh8+; id \"x\";"), 0);
    EXPECT_EQ(Epd(pos), "4k3/8/8/8/8/8/8/4K2R b K -");
    EXPECT_EQ(Fen(pos), "4k3/8/8/8/8/8/8/4K2R b K - 0 1");
    // Counters followed by EPD operations: both are read.
    EXPECT_EQ(SetPosition(pos, "6k1/8/8/8/8/8/6PP/R5K1 b - - 37 52 bm Kf7;"), 0);
    EXPECT_EQ(pos->fifty, 37);
    EXPECT_EQ(FullMoveNumber(pos), 52);
    EXPECT_EQ(Fen(pos), "6k1/8/8/8/8/8/6PP/R5K1 b - - 37 52");
    EXPECT_EQ(SetPosition(pos, "4k3/8/8/8/8/8/8/4K2R w K - 17"), 0);  // no move number
    EXPECT_EQ(Fen(pos), "4k3/8/8/8/8/8/8/4K2R w K - 17 1");
    EXPECT_EQ(SetPosition(pos, "4k3/8/8/8/8/8/8/4K2R w"), 0);  // missing fields read as "-"
    EXPECT_EQ(Epd(pos), "4k3/8/8/8/8/8/8/4K2R w - -");
    EXPECT_EQ(Fen(pos), "4k3/8/8/8/8/8/8/4K2R w - - 0 1");
    // Counters at both ends of their ranges; a move number of 0 (some
    // writers start there) is move 1, a clock beyond any game is kept at 255.
    EXPECT_EQ(SetPosition(pos, "4k3/8/8/8/8/8/8/4K2R w - - 0 0"), 0);
    EXPECT_EQ(Fen(pos), "4k3/8/8/8/8/8/8/4K2R w - - 0 1");
    EXPECT_EQ(SetPosition(pos, "4k3/8/8/8/8/8/8/4K2R w - - 256 1"), 0);
    EXPECT_EQ(pos->fifty, 255);
    EXPECT_EQ(SetPosition(pos, "4k3/8/8/8/8/8/8/4K2R w - - 100 70 \r\n"), 0) << "line ends after the counters";
    EXPECT_EQ(Fen(pos), "4k3/8/8/8/8/8/8/4K2R w - - 100 70");
    // Whole FEN texts round-trip.
    const char* texts[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b Kq e3 0 3",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 12 47",
        "8/8/8/4k3/8/8/8/4K2R w - - 99 60",
        "8/8/8/8/8/8/8/K6k b - - 255 9999",
    };
    for (const char* t : texts) {
        EXPECT_EQ(SetPosition(pos, t), 0) << t;
        EXPECT_EQ(Fen(pos), t);
    }
}

TEST_F(PositionText, MoveNumberAndClockFollowTheMovesMade) {
    Position* pos = &rec->pos;
    // Worked by hand: the number goes up after each black move, the clock
    // counts the moves since the last capture or pawn move.
    SetPosition(pos, "4k3/8/8/8/8/8/4P3/4K2R w K - 8 30");
    MakeMove(pos, M("h1", "h5"));
    EXPECT_EQ(Fen(pos), "4k3/8/8/7R/8/8/4P3/4K3 b - - 9 30");
    MakeMove(pos, M("e8", "d7"));
    EXPECT_EQ(Fen(pos), "8/3k4/8/7R/8/8/4P3/4K3 w - - 10 31");
    MakeMove(pos, M("e2", "e4"));
    EXPECT_EQ(Fen(pos), "8/3k4/8/7R/4P3/8/8/4K3 b - e3 0 31");
    UnmakeMove(pos);
    UnmakeMove(pos);
    EXPECT_EQ(Fen(pos), "4k3/8/8/7R/8/8/4P3/4K3 b - - 9 30");
    // A game that starts with black to move.
    SetPosition(pos, "4k3/8/8/8/8/8/8/4K2R b K - 3 12");
    MakeMove(pos, M("e8", "f7"));
    EXPECT_EQ(FullMoveNumber(pos), 13);
    MakeMove(pos, M("h1", "h2"));
    EXPECT_EQ(Fen(pos), "8/5k2/8/8/8/8/7R/4K3 b - - 5 13");
}

TEST_F(PositionText, MalformedCountersAreRefused) {
    Position* pos = &rec->pos;
    const char* kept = "4k3/8/8/8/8/8/8/4K2R w K - 4 20";
    const char* bad[] = {
        "4k3/8/8/8/8/8/8/4K2R w K - -1 20",   // negative clock
        "4k3/8/8/8/8/8/8/4K2R w K - +1 20",   // a sign is no digit
        "4k3/8/8/8/8/8/8/4K2R w K - x 20",    // not a number
        "4k3/8/8/8/8/8/8/4K2R w K - 1.5 20",
        "4k3/8/8/8/8/8/8/4K2R w K - 3 -20",   // negative move number
        "4k3/8/8/8/8/8/8/4K2R w K - 3 twenty",
        "4k3/8/8/8/8/8/8/4K2R w K - 3 20x",
        "4k3/8/8/8/8/8/8/4K2R w K - - -",
    };
    for (const char* t : bad) {
        ASSERT_EQ(SetPosition(pos, kept), 0);
        CaptureStdout();
        int r = SetPosition(pos, t);
        std::string out = GetCapturedStdout();
        EXPECT_EQ(r, -2) << "accepted: " << t;
        EXPECT_NE(out.find("Illegal FEN - "), std::string::npos) << t << ": " << out;
        EXPECT_EQ(Fen(pos), kept) << "position changed by: " << t;
    }
}

TEST_F(PositionText, SettingResetsTheGameRecord) {
    Position* pos = &rec->pos;
    SetPosition(pos, START_FEN);
    MakeMove(pos, M("e2", "e4"));
    MakeMove(pos, M("e7", "e5"));
    EXPECT_EQ(rec->game_ply, 2);
    EXPECT_EQ(SetPosition(pos, START_FEN), 0);
    EXPECT_EQ(rec->game_ply, 0);
    EXPECT_EQ(rec->ply, 1);
    EXPECT_EQ(rec->last_move, 0);
    EXPECT_EQ(rec->undo[0].move, 0);
    EXPECT_EQ(rec->undo[1].move, 0);
}

TEST_F(PositionText, DroppedCastlingRightsAreReported) {
    Position* pos = &rec->pos;
    PBlock.uci = 0;  // the console's form of the message
    CaptureStdout();
    int r = SetPosition(pos, "4k3/8/8/8/8/8/8/4K3 w KQkq - 0 1");
    std::string out = GetCapturedStdout();
    EXPECT_EQ(r, -1);
    EXPECT_EQ(out, "Illegal EPD -  0 1\n");  // the rest of the line, its blank included
    EXPECT_EQ(pos->castle, 0);
    EXPECT_EQ(pos->key, ComputeKey(pos));
    // Only the rights whose king or rook is missing go.
    CaptureStdout();
    r = SetPosition(pos, "r3k3/8/8/8/8/8/8/4K2R w KQkq -");
    out = GetCapturedStdout();
    EXPECT_EQ(r, -1);
    EXPECT_EQ(out, "Illegal EPD - \n");
    EXPECT_EQ(pos->castle, 1 | 8);
}

TEST_F(PositionText, MalformedTextIsRefusedAndThePositionKept) {
    Position* pos = &rec->pos;
    const char* kept = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";
    const char* bad[] = {
        "",
        "   ",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/ w KQkq -",   // surplus "/"
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/8 w KQkq -",  // ninth rank
        "rnbqkbnr/ppppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",   // nine squares
        "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
        "rnbqkbnr/pppppppp/54/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",   // digits past the h-file
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq -",     // short rank
        "rnbqkbnr/pppppppp/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",      // seven ranks
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNX w KQkq -",    // unknown letter
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq -",    // side
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",             // no side
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQQBNR w KQkq -",    // no white king
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBKKBNR w KQkq -",    // two white kings
        "P3k3/8/8/8/8/8/8/4K3 w - -",                              // pawn on the last rank
        "4k3/8/8/8/8/8/8/p3K3 w - -",                              // pawn on the first rank
        "4k3/8/8/8/8/8/8/4K2R w - -  ",                            // (fine: see below)
        "4k2R/8/8/8/8/8/8/4K3 w - -",                              // side not to move in check
        "4k3/8/8/3pP3/8/8/8/4K3 w - d5",                           // wrong rank for en passant
        "4k3/8/8/4P3/8/8/8/4K3 w - d6",                            // no pawn behind the square
        "4k3/8/3p4/3pP3/8/8/8/4K3 w - d6",                         // the square is taken
        "4k3/8/8/3pP3/8/8/8/4K3 w - d6x",                          // nonsense
        "4k3/8/8/3pP3/8/8/8/4K3 w - z6",
        "4k3/8/8/3Pp3/8/8/8/4K3 b - e3",                           // black to move: needs rank 3 behind a white pawn
        "NNNNNNNN/NNNNNNNN/NNNkNNNN/1N6/8/8/8/4K3 w - -",           // more than sixteen pieces
        "4k3/8/8/8/8/8/8/4K3 w - -\x01",                           // nonsense after the dash
    };
    for (const char* t : bad) {
        SetPosition(pos, kept);
        MakeMove(pos, M("e1", "d1"));  // a game in progress
        Position before;
        memcpy(&before, pos, sizeof before);
        CaptureStdout();
        int r = SetPosition(pos, t);
        std::string out = GetCapturedStdout();
        if (!strcmp(t, "4k3/8/8/8/8/8/8/4K2R w - -  ")) {
            EXPECT_EQ(r, 0) << t;
            continue;
        }
        EXPECT_EQ(r, -2) << "accepted: " << t;
        EXPECT_NE(out.find("Illegal FEN - "), std::string::npos) << out;
        EXPECT_EQ(memcmp(&before, pos, sizeof before), 0) << "position changed by: " << t;
        EXPECT_EQ(rec->game_ply, 1) << t;
    }
}

TEST_F(PositionText, RefusalMessageFollowsTheMode) {
    Position* pos = &rec->pos;
    PBlock.uci = 1;
    CaptureStdout();
    SetPosition(pos, "8/8/8/8/8/8/8/8 w - -");
    EXPECT_EQ(GetCapturedStdout().rfind("info string Illegal FEN - ", 0), 0u);
    // Dropped castling rights too: an interface gets no line outside the protocol.
    CaptureStdout();
    SetPosition(pos, "4k3/8/8/8/8/8/8/4K3 w KQkq - 0 1");
    EXPECT_EQ(GetCapturedStdout(), "info string Illegal EPD -  0 1\n");
    PBlock.uci = 0;
    CaptureStdout();
    SetPosition(pos, "8/8/8/8/8/8/8/8 w - -");
    EXPECT_EQ(GetCapturedStdout().rfind("Illegal FEN - ", 0), 0u);
}

TEST_F(PositionText, MoveToStrForms) {
    char buf[16];
    PBlock.uci = 1;
    EXPECT_STREQ(MoveToStr(M("e2", "e4"), buf), "e2e4");
    EXPECT_STREQ(MoveToStr(M("e7", "e8", PROMO_QUEEN), buf), "e7e8q");
    EXPECT_STREQ(MoveToStr(M("a2", "b1", PROMO_KNIGHT), buf), "a2b1n");
    EXPECT_STREQ(MoveToStr(M("h7", "h8", PROMO_BISHOP), buf), "h7h8b");
    EXPECT_STREQ(MoveToStr(M("h7", "g8", PROMO_ROOK), buf), "h7g8r");
    EXPECT_STREQ(MoveToStr(0, buf), "null");
    PBlock.uci = 0;
    EXPECT_STREQ(MoveToStr(M("e7", "e8", PROMO_QUEEN), buf), "e7e8=Q");
    EXPECT_STREQ(MoveToStr(M("a2", "b1", PROMO_ROOK), buf), "a2b1=R");
    EXPECT_STREQ(MoveToStr(M("a1", "h8"), buf), "a1h8");
}

class MoveText : public PositionText {
protected:
    std::string Forms(const char* fen, Move m) {
        SetTestPosition(rec, fen);
        char s[4][16];
        GenMoveStrings(&rec->pos, m, s[0], s[1], s[2], s[3]);
        return std::string(s[0]) + "|" + s[1] + "|" + s[2] + "|" + s[3];
    }
    int Typed(const char* text, Move* out) { return IsValidMove(text, out); }
};

TEST_F(MoveText, GeneratedForms) {
    PBlock.uci = 1;
    EXPECT_EQ(Forms(START_FEN, M("g1", "f3")), "g1f3|Nf3|Ngf3|N1f3");
    EXPECT_EQ(Forms(START_FEN, M("e2", "e4")), "e2e4|e4||");
    EXPECT_EQ(Forms("4k3/8/8/3p4/4P3/8/8/4K3 w - -", M("e4", "d5")), "e4d5|exd5|ed|");
    EXPECT_EQ(Forms("4k3/8/8/3pP3/8/8/8/4K3 w - d6", M("e5", "d6")), "e5d6|exd6|ed|");
    EXPECT_EQ(Forms("3rk3/4P3/8/8/8/8/8/4K3 w - -", M("e7", "d8", PROMO_KNIGHT)), "e7d8=N|exd8=N|ed=N|");
    EXPECT_EQ(Forms("4k3/P7/8/8/8/8/8/4K3 w - -", M("a7", "a8", PROMO_QUEEN)), "a7a8=Q+|a8=Q+|+|+");
    EXPECT_EQ(Forms("4k3/P7/8/8/8/8/8/4K3 w - -", M("a7", "a8", PROMO_BISHOP)), "a7a8=B|a8=B||");
    EXPECT_EQ(Forms("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", M("e1", "g1")), "e1g1|o-o|O-O|0-0");
    EXPECT_EQ(Forms("r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", M("e8", "c8")), "e8c8|o-o-o|O-O-O|0-0-0");
    EXPECT_EQ(Forms("4k3/8/8/8/8/8/8/R3K2R w - -", M("a1", "a8")), "a1a8+|Ra8+|Raa8+|R1a8+");
    // Other rooks reaching the square: on the same file the rank is
    // written, on the same rank the file.
    EXPECT_EQ(Forms("4k3/8/8/8/R7/8/8/R3K3 w - -", M("a1", "a2")), "a1a2|R1a2|Raa2|R1a2");
    EXPECT_EQ(Forms("4k3/8/8/8/8/8/8/R3K2R w - -", M("a1", "f1")), "a1f1|Raf1|Raf1|R1f1");
    EXPECT_EQ(Forms("4k3/8/8/8/8/8/8/R3K2R w - -", M("h1", "h8")), "h1h8+|Rh8+|Rhh8+|R1h8+");
    // A capture writes the "x".
    EXPECT_EQ(Forms("4k3/8/8/8/8/8/8/Rr2K3 w - -", M("a1", "b1")), "a1b1|Rxb1|Raxb1|R1xb1");
}

TEST_F(MoveText, TypedMovesInEveryForm) {
    Move m = 0;
    PBlock.uci = 0;
    SetGamePosition("4k3/8/8/8/8/5N2/8/1N2K3 w - -");
    const Move b1d2 = M("b1", "d2");
    for (const char* t : {"Nbd2", "b1d2", "N1d2", "Nbd2+", "Nbd2!?", "Nbd2#", "b1d2\n"}) {
        EXPECT_EQ(Typed(t, &m), 1) << t;
        EXPECT_EQ(m, b1d2) << t;
    }
    // Both knights reach d2: "Nd2" names two moves.
    CaptureStdout();
    EXPECT_EQ(Typed("Nd2", &m), 0);
    EXPECT_EQ(GetCapturedStdout(), "ambiguous move\n");
    EXPECT_EQ(m, 0);
    EXPECT_EQ(Typed("Nf3d2", &m), 0);  // not one of the forms
    for (const char* t : {"", "+", "#", "!?", "b", "=", "xx", "e9e4", "e2e4e2e4e2e4e2e4e2e4e2e4e2e4"}) {
        m = 0xFFFF;
        EXPECT_EQ(Typed(t, &m), 0) << t;
        EXPECT_EQ(m, 0) << t;
    }

    SetGamePosition("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    for (const char* t : {"O-O", "0-0", "o-o", "e1g1"}) {
        EXPECT_EQ(Typed(t, &m), 1) << t;
        EXPECT_EQ(m, M("e1", "g1")) << t;
    }
    for (const char* t : {"O-O-O", "0-0-0", "o-o-o"}) {
        EXPECT_EQ(Typed(t, &m), 1) << t;
        EXPECT_EQ(m, M("e1", "c1")) << t;
    }

    SetGamePosition("3r4/4P2k/8/8/8/8/8/4K3 w - -");
    for (const char* t : {"e7e8q", "e7e8Q", "e7e8=Q", "e8=Q", "e8q", "e8=Q+"}) {
        EXPECT_EQ(Typed(t, &m), 1) << t;
        EXPECT_EQ(m, M("e7", "e8", PROMO_QUEEN)) << t;
    }
    EXPECT_EQ(Typed("exd8n", &m), 1);
    EXPECT_EQ(m, M("e7", "d8", PROMO_KNIGHT));
    EXPECT_EQ(Typed("ed=R", &m), 1);
    EXPECT_EQ(m, M("e7", "d8", PROMO_ROOK));
    EXPECT_EQ(Typed("e7e8", &m), 0);  // a promotion needs its piece
    EXPECT_EQ(Typed("=Q", &m), 0);

    // Illegal moves are not found even when their text matches.
    SetGamePosition("4r2k/8/8/8/8/8/4B3/4K3 w - -");
    EXPECT_EQ(Typed("Bd3", &m), 0);
    EXPECT_EQ(Typed("Kd2", &m), 1);
}

TEST_F(MoveText, TypedMovesAfterALongGame) {
    // The game record's ply grows with every game move; reading a move must
    // still work far beyond the search stack's depth.
    SetGamePosition("4k3/8/8/8/8/8/8/R3K3 w - -");
    const char* cycle[4] = {"Ra2", "Kd8", "Ra1", "Ke8"};
    Move m = 0;
    for (int i = 0; i < 400; i++) {
        ASSERT_EQ(IsValidMove(cycle[i % 4], &m), 1) << i;
        MakeMove(&CTD->pos, m);
    }
    EXPECT_EQ(CTD->game_ply, 400);
    EXPECT_EQ(Epd(&CTD->pos), "4k3/8/8/8/8/8/8/R3K3 w - -");
}

}  // namespace
