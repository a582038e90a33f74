// The king-and-pawn bitbase against a plain forward search of the same game,
// its edge entries, and its use by the evaluation.
#include <cstdint>
#include <vector>

#include "eval_test_util.h"

namespace {

bool Near(int a, int b) { return a != b && (BB_KingRays[a] >> b) & 1; }
bool PawnHits(int p, int sq) { return (BB_PawnRays[WHITE][p] >> sq) & 1; }

// Forward search of king and pawn against king, pawn side white moving up,
// on the whole board (no mirroring). A promotion wins unless the lone king,
// to move, can take the unprotected new queen.
struct KpkSearch {
    std::vector<int8_t> won_by, lost_by;  // proven win within / no win within that many plies
    KpkSearch() : won_by(2 * 64 * 64 * 64, 127), lost_by(2 * 64 * 64 * 64, -1) {}
    static int Key(int stm, int p, int w, int b) { return ((stm * 64 + p) * 64 + w) * 64 + b; }

    bool Win(int stm, int p, int w, int b, int d) {
        if ((p >> 3) == 7) return stm == 0 || !Near(b, p) || Near(w, p);
        int k = Key(stm, p, w, b);
        if (d >= won_by[k]) return true;
        if (d <= lost_by[k]) return false;
        bool r = stm == 0 ? WhiteWins(p, w, b, d) : BlackLoses(p, w, b, d);
        if (r) won_by[k] = (int8_t)d;
        else lost_by[k] = (int8_t)d;
        return r;
    }
    bool WhiteWins(int p, int w, int b, int d) {
        if (d == 0) return false;
        if (p + 8 != w && p + 8 != b) {
            if (Win(1, p + 8, w, b, d - 1)) return true;
            if ((p >> 3) == 1 && p + 16 != w && p + 16 != b && Win(1, p + 16, w, b, d - 1)) return true;
        }
        for (Bitboard m = BB_KingRays[w]; m; m = ClearLSB(m)) {
            int to = LSB(m);
            if (to != p && !Near(to, b) && Win(1, p, to, b, d - 1)) return true;
        }
        return false;
    }
    bool BlackLoses(int p, int w, int b, int d) {
        bool moved = false;
        for (Bitboard m = BB_KingRays[b]; m; m = ClearLSB(m)) {
            int to = LSB(m);
            if (Near(to, w) || PawnHits(p, to)) continue;
            if (to == p) return false;  // takes the unprotected pawn
            moved = true;
            if (d == 0 || !Win(0, p, w, to, d - 1)) return false;
        }
        return moved;  // no move at all: stalemate
    }
};

class Kpk : public ::testing::Test {
protected:
    void SetUp() override { InitEvalEnvironment(); }
};

TEST_F(Kpk, AgreesWithAForwardSearch) {
    KpkSearch search;
    std::mt19937 rng(2024);
    int checked = 0, wins = 0;
    while (checked < 4000) {
        int stm = rng() % 2, p = 8 + rng() % 48, w = rng() % 64, b = rng() % 64;
        if (p == w || p == b || w == b || Near(w, b)) continue;
        if (stm == 0 && PawnHits(p, b)) continue;  // the lone king would stand in check
        int mp = p, mw = w, mb = b;
        if ((p & 7) > 3) mp ^= 7, mw ^= 7, mb ^= 7;
        bool db = kpk_db[KpkIndex(stm, mp, mw, mb)] == KPK_WIN;
        bool sr = search.Win(stm, p, w, b, 80);
        ASSERT_EQ(db, sr) << "stm " << stm << " pawn " << square_name[p] << " K " << square_name[w] << " k "
                          << square_name[b];
        checked++;
        wins += sr;
    }
    EXPECT_GT(wins, 1000);
    EXPECT_LT(wins, 3500);
}

TEST_F(Kpk, EdgeEntries) {
    auto sq = [](const char* n) { return (n[0] - 'a') + 8 * (n[1] - '1'); };
    // Illegal placements read as draws after the computation.
    EXPECT_EQ(kpk_db[KpkIndex(0, sq("c4"), sq("e4"), sq("e5"))], KPK_DRAW);
    EXPECT_EQ(kpk_db[KpkIndex(1, sq("c4"), sq("c4"), sq("h8"))], KPK_DRAW);
    // Pawn on the seventh, promotion square free, lone king far from it.
    EXPECT_EQ(kpk_db[KpkIndex(0, sq("b7"), sq("h1"), sq("e6"))], KPK_WIN);
    // Lone king next to the promotion square, own king far: the push alone draws...
    EXPECT_EQ(kpk_db[KpkIndex(0, sq("b7"), sq("h1"), sq("c7"))], KPK_DRAW);
    // ...but it wins when the king covers the queen.
    EXPECT_EQ(kpk_db[KpkIndex(0, sq("b7"), sq("a7"), sq("c7"))], KPK_WIN);
    // The lone king, to move, takes the pawn the king cannot guard.
    EXPECT_EQ(kpk_db[KpkIndex(1, sq("d4"), sq("d1"), sq("d5"))], KPK_DRAW);
    // Rook pawn with the defender in the corner: a draw whoever moves.
    EXPECT_EQ(kpk_db[KpkIndex(0, sq("a4"), sq("c3"), sq("a8"))], KPK_DRAW);
    EXPECT_EQ(kpk_db[KpkIndex(1, sq("a4"), sq("c3"), sq("a8"))], KPK_DRAW);
}

TEST_F(Kpk, EvaluationAddsTheWinToTheDistanceFormula) {
    ThreadRecord* t = NewEvalRecord();
    // d(h8, d8) + 4 * 6 - d(c7, d8) = 27, won.
    EXPECT_EQ(EvalFen(t, "7k/2KP4/8/8/8/8/8/8 w - - 0 1"), 827);
    EXPECT_EQ(EvalFen(t, "7k/2KP4/8/8/8/8/8/8 b - - 0 1"), -827);
    // The same for black, and on the other wing.
    EXPECT_EQ(EvalFen(t, "8/8/8/8/8/8/2kp4/7K b - - 0 1"), 827);
    EXPECT_EQ(EvalFen(t, "k7/4PK2/8/8/8/8/8/8 w - - 0 1"), 827);
    // d(a8, a8) + 4 * 3 - d(c3, a8) = 7, drawn.
    EXPECT_EQ(EvalFen(t, "k7/8/8/8/P7/2K5/8/8 w - - 0 1"), 7);
    FreeThreadRecord(t);
}

}  // namespace
