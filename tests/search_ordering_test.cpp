// The staged move picker, move classification, root scoring and the update
// of the ordering tables. Pick sequences below are derived by hand from the
// ordering rules.
#include <random>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "search/ordering.h"
#include "test_util.h"

namespace {

std::string Text(Move m) {
    char buf[16];
    return MoveToStr(m, buf);
}

Move M(const char* from, const char* to, Move flag = 0) {
    return (Move)(MakeMoveCode((from[0] - 'a') + 8 * (from[1] - '1'), (to[0] - 'a') + 8 * (to[1] - '1')) | flag);
}

class Picker : public BoardTest {
protected:
    ThreadRecord* t = nullptr;
    MoveEntry prev{}, prev2{};

    void SetUp() override {
        BoardTest::SetUp();
        PBlock.uci = 1;
        t = NewTestRecord();
        ResetOrdering(t);
    }
    void TearDown() override { FreeThreadRecord(t); }

    // Puts the position at ply 2 with the given previous moves (prev is the
    // move that led to the position, prev2 the one before).
    Position* AtPly2(const char* fen, Move p1, int p1_piece, Move p2, int p2_piece) {
        Position* pos = SetTestPosition(t, fen);
        prev = MoveEntry{p1, 0, (uint8_t)p1_piece, 0};
        prev2 = MoveEntry{p2, 0, (uint8_t)p2_piece, 0};
        t->ply = 2;
        t->stack[0].next = &prev2;
        t->stack[1].next = &prev;
        t->stack[2].list = &t->move_store[40];
        t->stack[2].checker = NO_SQ;
        return pos;
    }

    // Every move the picker hands out at the current ply, as text with its score.
    std::vector<std::string> Drain(Position* pos, int stage) {
        t->stack[t->ply].stage = (uint16_t)stage;
        std::vector<std::string> out;
        while (MoveEntry* e = GetNextMove(pos)) {
            out.push_back(Text(e->move) + ":" + std::to_string(e->score));
            if (out.size() > 400) break;
        }
        return out;
    }
};

// Captures and promotions with the full ordering: the winning capture first,
// an even trade 6 below its plain order, under-promotions at 15, then the
// quiet moves (history 8 each) in generation order, the losing capture (5)
// and the defended queen promotion (4) last. The hash move comes first and
// again among the quiets.
TEST_F(Picker, FullOrderingPickSequence) {
    Position* pos = AtPly2("r5k1/1P2p2p/3n4/1N5Q/8/8/8/7K w - -", M("h8", "g8"), 14, M("g1", "h1"), 6);
    t->stack[2].hash_move = M("h5", "g4");
    std::vector<std::string> expect = {
        "h5g4:255", "b7a8q:239", "b5d6:222", "b7b8n:15", "b7b8b:15", "b7b8r:15", "b7a8n:15", "b7a8b:15",
        "b7a8r:15",
        // quiets in generation order: knight, queen, king
        "b5a3:8", "b5c3:8", "b5d4:8", "b5a7:8", "b5c7:8", "h5d1:8", "h5e2:8", "h5h2:8", "h5f3:8", "h5h3:8",
        "h5g4:8", "h5h4:8", "h5c5:8", "h5d5:8", "h5e5:8", "h5f5:8", "h5g5:8", "h5g6:8", "h5h6:8", "h5f7:8",
        "h5e8:8", "h1g1:8", "h1g2:8", "h1h2:8",
        // the losing capture and the promotion the rook takes back
        "h5h7:5", "b7b8q:4"};
    EXPECT_EQ(Drain(pos, PICK_HASH_FIRST | PICK_FULL), expect);
}

// Quiet moves under rule B: killers, counter moves and the follow-up move
// earn their bonuses on top of the history score, first match only.
TEST_F(Picker, QuietBonusesPickSequence) {
    Position* pos = AtPly2("7k/8/8/8/8/8/PP6/K6N w - -", M("g8", "h8"), 14, M("g3", "h1"), 2);
    SearchStackEntry& st = t->stack[2];
    st.killer1 = M("b2", "b4");
    st.killer2 = M("a1", "b1");
    st.killer3 = M("a2", "a3");  // not in check: ignored
    t->counter_move[14][63] = M("h1", "g3");
    t->counter_move2[14][63] = M("a2", "a3");
    t->followup_move[2][7] = M("b2", "b3");
    t->history[0][2][13] = t->history[6][2][13] = 16384;  // Nh1-f2: 64
    t->history[0][1][24] = t->history[6][1][24] = 0;      // a2-a4: 0
    std::vector<std::string> expect = {"b2b4:68", "h1f2:64", "a1b1:63", "h1g3:58",
                                       "a2a3:53", "b2b3:48", "a2a4:0"};
    EXPECT_EQ(Drain(pos, PICK_HASH_FIRST | PICK_FULL), expect);
}

// Once the best remaining score is 2 or less the rest comes in list order,
// which the last selection's swap has already disturbed.
TEST_F(Picker, LowScoresComeInListOrder) {
    Position* pos = AtPly2("7k/8/8/8/8/8/PP6/K6N w - -", M("g8", "h8"), 14, M("g3", "h1"), 2);
    for (auto& layer : t->history)
        for (auto& row : layer)
            for (auto& h : row) h = 0;
    t->history[0][1][24] = t->history[6][1][24] = 512;  // a2-a4: 2
    t->history[0][1][17] = t->history[6][1][17] = 256;  // b2-b3: 1
    std::vector<std::string> expect = {"a2a4:2", "b2b3:1", "a2a3:0", "b2b4:0", "h1f2:0", "h1g3:0", "a1b1:0"};
    EXPECT_EQ(Drain(pos, PICK_FULL), expect);
}

// In check the third killer and the counter moves count, the first two killers not.
TEST_F(Picker, InCheckBonuses) {
    Position* pos = AtPly2("k7/8/8/8/8/5N2/6P1/r6K w - -", M("a2", "a1"), 12, M("f1", "f3"), 2);
    SearchStackEntry& st = t->stack[2];
    st.checker = 0;  // the rook on a1
    st.killer1 = M("f3", "e1");
    st.killer3 = M("h1", "h2");
    t->counter_move[12][0] = M("f3", "g1");
    t->counter_move2[12][0] = M("h1", "g1");
    std::vector<std::string> expect = {"h1h2:68", "f3g1:63", "h1g1:58", "f3e1:8"};
    EXPECT_EQ(Drain(pos, PICK_HASH_FIRST | PICK_FULL), expect);
}

// The quiescence orders: captures by victim and attacker only, and with the
// quiet-check flag the checking quiet moves and the sixth-rank pawn steps.
TEST_F(Picker, QuiescenceOrderAndQuietChecks) {
    Position* pos = AtPly2("4k3/8/3P2P1/2p5/4N3/8/8/Rb5K w - -", M("c6", "c5"), 9, M("e2", "e4"), 2);
    std::vector<std::string> captures = {"a1b1:226", "e4c5:218"};
    EXPECT_EQ(Drain(pos, 0), captures);
    std::vector<std::string> with_checks = {"a1b1:226", "e4c5:218", "d6d7:100",
                                            "e4f6:100", "a1a8:100", "g6g7:100"};
    EXPECT_EQ(Drain(pos, PICK_QUIET_CHECKS), with_checks);
    // Black's double step from the seventh rank checks the king on e4.
    pos = AtPly2("4k3/3p4/8/8/4K3/8/8/8 b - -", M("e3", "e4"), 6, M("e7", "e8"), 14);
    EXPECT_EQ(Drain(pos, PICK_QUIET_CHECKS), std::vector<std::string>({"d7d5:100"}))
        << "the double step d7-d5 gives check";
    // A black pawn on the sixth rank has no double step: f6-f4 would attack
    // e3 but is no move; the knight's two checks remain.
    pos = AtPly2("4k3/8/5p1n/8/8/4K3/8/8 b - -", M("e2", "e3"), 6, M("e7", "e8"), 14);
    EXPECT_EQ(Drain(pos, PICK_QUIET_CHECKS), std::vector<std::string>({"h6g4:100", "h6f5:100"}))
        << "a pawn may step twice only from its starting rank";
}

// Every quiet check the quiescence picker hands out, over positions of random
// games, is a move of the full generator and attacks the enemy king once
// made; the only other quiet moves are pawn steps to the seventh rank.
TEST_F(Picker, QuietChecksAreGeneratedMovesThatCheck) {
    std::mt19937 rng(16);
    int checks = 0;
    for (int game = 0; game < 12; game++) {
        SetTestPosition(t, START_FEN);
        for (int p = 0; p < 60; p++) {
            Position* pos = &t->pos;
            const int side = pos->side;
            MoveEntry all[MAX_LIST_MOVES];
            MoveEntry* all_end = GenerateMoves(pos, side, all);
            std::vector<Move> legal;
            for (MoveEntry* e = all; e < all_end; e++)
                if (MoveIsLegal(pos, side, e->move)) legal.push_back(e->move);
            if (legal.empty()) break;
            if (!SqAtakd(pos, pos->king_sq[side], side ^ 1)) {
                char fen[128];
                MakeEPD(pos, fen);
                // Ply 2 with a fresh list area; the previous moves play no part here.
                t->ply = 2;
                t->stack[0].next = &prev2;
                t->stack[1].next = &prev;
                t->stack[2].list = &t->move_store[40];
                t->stack[2].checker = NO_SQ;
                t->stack[2].stage = PICK_QUIET_CHECKS;
                std::vector<MoveEntry> quiets;
                while (MoveEntry* e = GetNextMove(pos)) {
                    const bool en_passant = (e->piece & 7) == PAWN && MoveTo(e->move) == pos->ep;
                    if (!e->captured && !en_passant && !(e->move & PROMO_ANY)) quiets.push_back(*e);
                }
                for (const MoveEntry& q : quiets) {
                    bool generated = false;
                    for (MoveEntry* e = all; e < all_end; e++) generated |= e->move == q.move;
                    ASSERT_TRUE(generated) << fen << ": " << Text(q.move) << " is not a move of this position";
                    if (!MoveIsLegal(pos, side, q.move)) continue;
                    const int to = MoveTo(q.move);
                    MakeMove(pos, q.move);
                    const bool gives_check = SqAtakd(pos, pos->king_sq[side ^ 1], side);
                    UnmakeMove(pos);
                    const int rank = (to >> 3) ^ (side ? 7 : 0);
                    EXPECT_TRUE(gives_check || ((q.piece & 7) == PAWN && rank == 6))
                        << fen << ": " << Text(q.move) << " neither checks nor steps to the seventh rank";
                    checks += gives_check;
                }
            }
            t->ply = 1;
            MakeMove(pos, legal[rng() % legal.size()]);
        }
    }
    EXPECT_GT(checks, 100) << "the random games should offer quiet checks to look at";
}

// Perft's flag 32 changes nothing; flag 16 without a hash move neither.
TEST_F(Picker, UnusedFlagsChangeNothing) {
    Position* pos = AtPly2("r5k1/1P2p2p/3n4/1N5Q/8/8/8/7K w - -", M("h8", "g8"), 14, M("g1", "h1"), 6);
    auto plain = Drain(pos, PICK_FULL);
    EXPECT_EQ(Drain(pos, PICK_FULL | PICK_PERFT), plain);
    EXPECT_EQ(Drain(pos, PICK_FULL | PICK_HASH_FIRST), plain);
    EXPECT_EQ(plain.size(), 34u);
}

// A ply that has handed out only its hash move still owns the two entries it
// wrote: the next plies' lists start behind them, so a deeper ply whose list
// cursor was left over from an earlier, longer list of an ancestor cannot
// write over that ancestor's moves.
TEST_F(Picker, DeeperPliesNeverWriteOverAnAncestorsList) {
    const char* fen = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";
    Position* pos = AtPly2(fen, M("h8", "g8"), 14, M("g1", "h1"), 6);
    auto reference = Drain(pos, PICK_FULL);
    ASSERT_GT(reference.size(), 40u);

    // Ply 2 hands out part of its list, then ply 3 takes only its hash move.
    AtPly2(fen, M("h8", "g8"), 14, M("g1", "h1"), 6);
    t->stack[2].stage = PICK_FULL;
    std::vector<std::string> got;
    for (int i = 0; i < 3; i++) {
        MoveEntry* e = GetNextMove(pos);
        ASSERT_NE(e, nullptr);
        got.push_back(Text(e->move) + ":" + std::to_string(e->score));
    }
    MoveEntry* list2 = t->stack[2].list;
    t->ply = 3;
    t->stack[3].hash_move = M("a1", "b1");
    t->stack[3].checker = NO_SQ;
    t->stack[3].stage = PICK_HASH_FIRST | PICK_FULL;
    // Left over from an earlier node: points into ply 2's unsearched moves.
    t->stack[4].list = list2 + 5;
    MoveEntry* e3 = GetNextMove(pos);
    ASSERT_NE(e3, nullptr);
    EXPECT_EQ(e3->move, M("a1", "b1"));
    EXPECT_EQ(t->stack[4].list, t->stack[3].list + 2);
    EXPECT_EQ(t->stack[5].list, t->stack[3].list + 3);
    // Ply 4 generates its whole list.
    t->ply = 4;
    t->stack[4].checker = NO_SQ;
    t->stack[4].stage = PICK_FULL;
    int n4 = 0;
    while (GetNextMove(pos)) n4++;
    EXPECT_GT(n4, 40);
    EXPECT_EQ(e3->move, M("a1", "b1")) << "ply 3's entry was overwritten";
    // Ply 2 goes on exactly as it would have without the deeper plies.
    t->ply = 2;
    while (MoveEntry* e = GetNextMove(pos)) got.push_back(Text(e->move) + ":" + std::to_string(e->score));
    EXPECT_EQ(got, reference);
}

// Bits: 1 capture (en passant too), 2 check, 4 discovered check, 8 step to
// the seventh rank, 16 queen promotion, 32 pawn move of note (a passed pawn's
// step to the fifth or sixth rank, any step to the seventh or eighth).
TEST_F(Picker, MoveFlags) {
    Position* pos = SetTestPosition(t, "4k3/1P3p2/8/2PpP3/8/4R3/P3N3/4K3 w - d6");
    auto flags = [&](Move m) {
        MoveEntry e{m, 0, pos->board[MoveFrom(m)], pos->board[MoveTo(m)]};
        return SetMoveFlags(pos, WHITE, &e);
    };
    EXPECT_EQ(flags(M("b7", "b8", PROMO_QUEEN)), 2 | 16 | 32);  // promotes with check
    EXPECT_EQ(flags(M("b7", "b8", PROMO_KNIGHT)), 32);
    EXPECT_EQ(flags(M("e5", "d6")), 1 | 2 | 4 | 32);  // en passant uncovers the rook
    EXPECT_EQ(flags(M("c5", "c6")), 32);
    EXPECT_EQ(flags(M("e5", "e6")), 0);  // the f7 pawn stands in its way
    EXPECT_EQ(flags(M("a2", "a3")), 0);
    EXPECT_EQ(flags(M("a2", "a4")), 0);
    EXPECT_EQ(flags(M("e2", "f4")), 0);
    EXPECT_EQ(flags(M("e3", "h3")), 0);
    SetTestPosition(t, "4k3/8/1P6/8/8/8/8/4K3 w - -");
    EXPECT_EQ(flags(M("b6", "b7")), 8 | 32);
    SetTestPosition(t, "4k3/8/8/8/8/8/1n6/R3K3 w - -");
    EXPECT_EQ(flags(M("a1", "b1")), 0);
    EXPECT_EQ(flags(M("a1", "a8")), 2);
    SetTestPosition(t, "4k3/8/8/8/8/8/1n6/R3K3 b - -");
    MoveEntry e{M("b2", "d1"), 0, pos->board[MoveFrom(M("b2", "d1"))], 0};
    EXPECT_EQ(SetMoveFlags(pos, BLACK, &e), 0);
    e = MoveEntry{M("b2", "c4"), 0, pos->board[MoveFrom(M("b2", "c4"))], 0};
    EXPECT_EQ(SetMoveFlags(pos, BLACK, &e), 0);
}

// Root scoring: hash move 255, quiet moves by history and the two killers,
// captures by victim and attacker unless they lose more than 50.
TEST_F(Picker, PrescoreAll) {
    Position* pos = SetTestPosition(t, "r5k1/1P2p2p/3n4/1N5Q/8/8/8/7K w - -");
    t->ply = 1;
    SearchStackEntry& st = t->stack[1];
    st.hash_move = M("h1", "g2");
    st.killer1 = M("h5", "g4");
    st.killer2 = M("b5", "a3");
    // At the root the previous move is the list anchor (piece code 0), so both
    // history terms read the context-free layer.
    t->history[0][5][37] = 16384;
    GenerateAll(pos);
    PrescoreAll(pos, st.list);
    auto score = [&](Move m) {
        for (MoveEntry* e = st.list; e->move != MOVE_END; e++)
            if (e->move == m) return (int)e->score;
        return -9999;
    };
    EXPECT_EQ(score(M("h1", "g2")), 255);
    EXPECT_EQ(score(M("h5", "g4")), 68);
    EXPECT_EQ(score(M("b5", "a3")), 58);
    EXPECT_EQ(score(M("h5", "f5")), 64);
    EXPECT_EQ(score(M("h1", "h2")), 8);
    EXPECT_EQ(score(M("b7", "a8", PROMO_QUEEN)), 239);
    EXPECT_EQ(score(M("b7", "a8", PROMO_ROOK)), 239);  // no special score for under-promotions here
    EXPECT_EQ(score(M("b5", "d6")), 228);               // even trade: not demoted
    EXPECT_EQ(score(M("h5", "h7")), 5);                 // queen for a pawn: type + 4
    EXPECT_EQ(score(M("b7", "b8", PROMO_QUEEN)), 4);    // the rook takes the new queen's pawn
}

// History decays on a fail-low, grows on success (with killers, counter and
// follow-up moves); after a null move the counter tables stay untouched and
// the context layer is the context-free one.
TEST_F(Picker, OrderingUpdate) {
    SetTestPosition(t, "7k/8/8/8/8/8/PP6/K6N w - -");
    MoveEntry p1{M("g8", "h8"), 0, 14, 0}, p2{M("g3", "h1"), 0, 2, 0};
    t->stack[0].next = &p2;
    t->stack[1].next = &p1;
    MoveEntry m{M("h1", "g3"), 0, 2, 0};
    SearchStackEntry& st = t->stack[2];
    st.in_check = 0;
    UpdateOrdering(t, 2, 3, &m, false);
    EXPECT_EQ(t->history[0][2][22], 2048 - 24);
    EXPECT_EQ(t->history[6][2][22], 2048 - 24);
    EXPECT_EQ(st.killer1, 0);
    EXPECT_EQ(t->counter_move[14][63], 0);

    UpdateOrdering(t, 2, 12, &m, true);  // depth counts up to 8
    EXPECT_EQ(t->history[0][2][22], 2024 + (16384 - 2024) * 128 / 2048);
    EXPECT_EQ(st.killer1, m.move);
    EXPECT_EQ(t->counter_move[14][63], m.move);
    EXPECT_EQ(t->followup_move[2][7], m.move);

    MoveEntry m2{M("a2", "a3"), 0, 1, 0};
    UpdateOrdering(t, 2, 1, &m2, true);
    EXPECT_EQ(st.killer1, m2.move);
    EXPECT_EQ(st.killer2, m.move);
    EXPECT_EQ(t->counter_move[14][63], m2.move);
    EXPECT_EQ(t->counter_move2[14][63], m.move);
    UpdateOrdering(t, 2, 1, &m2, true);  // the same killer again shifts nothing
    EXPECT_EQ(st.killer2, m.move);

    st.in_check = 1;
    MoveEntry m3{M("a1", "b1"), 0, 6, 0};
    UpdateOrdering(t, 2, 2, &m3, true);
    EXPECT_EQ(st.killer3, m3.move);
    EXPECT_EQ(st.killer1, m2.move);
    EXPECT_EQ(t->counter_move[14][63], m3.move);
    EXPECT_EQ(t->counter_move2[14][63], m2.move);

    // After a null move: no counter or follow-up update; both history updates
    // land on the context-free layer.
    MoveEntry null_entry{0, 0, 0, 0};
    t->stack[1].next = &null_entry;
    st.in_check = 0;
    MoveEntry m4{M("b2", "b4"), 0, 1, 0};
    UpdateOrdering(t, 2, 3, &m4, true);
    int once = 2048 + (16384 - 2048) * 48 / 2048;
    EXPECT_EQ(t->history[0][1][25], once + (16384 - once) * 48 / 2048);
    EXPECT_EQ(t->counter_move[0][0], 0);
    EXPECT_EQ(t->counter_move[14][63], m3.move);
    EXPECT_EQ(st.killer1, m4.move);
}

}  // namespace
