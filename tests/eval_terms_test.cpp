// Single terms of the evaluation on small positions, against values worked
// out by hand from the tables and rules.
#include "eval/evalterms.h"
#include "eval_test_util.h"

namespace {

int Sq(const char* n) { return (n[0] - 'a') + 8 * (n[1] - '1'); }

class EvalTerms : public ::testing::Test {
protected:
    void SetUp() override {
        InitEvalEnvironment();
        t = NewEvalRecord();
        w = &t->eval_work;
    }
    void TearDown() override { FreeThreadRecord(t); }

    // Evaluates fen once (phase, material, maps), then rebuilds the maps up to
    // the pieces and clears the sums, so that one term can be run alone.
    void Prepare(const char* fen, bool with_pieces) {
        ASSERT_NE(EvalFen(t, fen), -10001) << fen;
        BuildPawnMaps(w);
        FindPins(w);
        if (with_pieces) EvalPieces(w);
        w->positional[WHITE] = w->positional[BLACK] = 0;
        w->eval_alert[WHITE] = w->eval_alert[BLACK] = 0;
        w->hung = 0;
    }
    ::testing::AssertionResult Sum(int side, int op, int eg) {
        ScorePair s = w->positional[side];
        if (ScoreOp(s) == op && ScoreEg(s) == eg) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "side " << side << " got (" << ScoreOp(s) << ", " << ScoreEg(s)
                                             << ") expected (" << op << ", " << eg << ")";
    }
    // A position where white owns a feature and the sum (op, eg) it earns.
    struct TermCase {
        const char* fen;
        int op, eg;
        const char* what;
    };
    // Runs one term on the position and on its colour-mirrored twin, where
    // black owns the feature: the owner sums (op, eg) both times, and with
    // owner_only the other side sums nothing.
    void ExpectForBothColours(const TermCase& c, bool with_pieces, void (*term)(EvalWork*), bool owner_only) {
        for (int side : {WHITE, BLACK}) {
            std::string f = side == WHITE ? c.fen : MirrorFen(c.fen);
            Prepare(f.c_str(), with_pieces);
            term(w);
            EXPECT_TRUE(Sum(side, c.op, c.eg)) << c.what << ": " << f;
            if (owner_only) {
                EXPECT_TRUE(Sum(side ^ 1, 0, 0)) << "nothing for the other side: " << f;
            }
        }
    }
    ThreadRecord* t = nullptr;
    EvalWork* w = nullptr;
};

TEST_F(EvalTerms, PawnStructure) {
    ScorePair sums[2];
    // d4 alone: table (10,2) + backward + isolated + weak.
    Prepare("4k3/8/8/8/3P4/8/8/4K3 w - - 0 1", false);
    PawnStructure(w, sums);
    EXPECT_EQ(sums[WHITE], MakeScore(-8, -14));
    EXPECT_EQ(sums[BLACK], 0);
    // b4 and c4 stand side by side: both connected.
    Prepare("4k3/8/8/8/1PP5/8/8/4K3 w - - 0 1", false);
    PawnStructure(w, sums);
    EXPECT_EQ(sums[WHITE], MakeScore(7 + 12, 5 + 6));
    // c3 defends b4; c3 itself is backward and weak, not isolated.
    Prepare("4k3/8/8/8/1P6/2P5/8/4K3 w - - 0 1", false);
    PawnStructure(w, sums);
    EXPECT_EQ(sums[WHITE], MakeScore(5 - 10, 5 - 10));
}

TEST_F(EvalTerms, BlockedPawns) {
    Prepare("4k3/2p5/2n5/8/8/4B3/4P3/4K3 w - - 0 1", false);
    EvalBlockedPawns(w);
    EXPECT_TRUE(Sum(WHITE, -9, -12));
    EXPECT_TRUE(Sum(BLACK, -9, -12));
}

TEST_F(EvalTerms, PinnedKnightHasNoMobility) {
    Prepare("4k3/4r3/8/8/8/4N3/8/4K3 w - - 0 1", false);
    EvalPieces(w);
    EXPECT_EQ(w->pinned, SqBit(Sq("e3")));
    // mobility[0] (-18,-23) + table (5,6) + outpost reach (8,0).
    EXPECT_TRUE(Sum(WHITE, -5, -17));
}

TEST_F(EvalTerms, SlidersSeeThroughTheirOwnPieces) {
    Prepare("4k3/8/8/8/8/2Q5/1B6/4K3 w - - 0 1", true);
    EXPECT_TRUE(w->attacks[WHITE][BISHOP] & SqBit(Sq("e5")));
    Prepare("4k3/8/8/8/8/Q7/8/R3K3 w - - 0 1", true);
    EXPECT_TRUE(w->attacks[WHITE][ROOK] & SqBit(Sq("a6")));
    EXPECT_FALSE(w->attacks[WHITE][BISHOP]);
}

// A rook on a file without pawns earns rook_open_file (14, 6), with only an
// enemy pawn on it rook_half_open_file (6, 0), with an own pawn nothing. The
// pawns stand beyond the king on d3, out of the rook's reach, so its moves stay
// the same: table (2, 0) and mobility 8 (13, 17) each time. Black's mirrored
// rook scores alike.
TEST_F(EvalTerms, RookOnAnOpenFile) {
    const TermCase cases[] = {
        {"n3k3/8/8/8/8/3K4/8/3R4 w - - 0 1", 2 + 13 + 14, 17 + 6, "rook on an open file"},
        {"n3k3/8/3p4/8/8/3K4/8/3R4 w - - 0 1", 2 + 13 + 6, 17 + 0, "rook on a half-open file"},
        {"n3k3/8/8/3P4/8/3K4/8/3R4 w - - 0 1", 2 + 13, 17, "rook behind its own pawn"},
    };
    for (const TermCase& c : cases) ExpectForBothColours(c, false, EvalPieces, false);
}

TEST_F(EvalTerms, BishopOnItsRammedPawnsColour) {
    // c2 and e4 are light: mobility 5 + 2 centre squares (12,14), table (-2,-2), rammed (-5,-10).
    Prepare("4k3/8/8/4p3/4P3/8/2B5/4K3 w - - 0 1", false);
    EvalPieces(w);
    EXPECT_EQ(sq_color[Sq("c2")], 0);
    EXPECT_EQ(sq_color[Sq("a1")], 1);
    EXPECT_TRUE(Sum(WHITE, 5, 2));
}

TEST_F(EvalTerms, Threats) {
    // A queen hit by a pawn is hung; the undefended pawn that it hits is too.
    Prepare("7k/8/8/3p4/4Q3/8/8/K7 w - - 0 1", true);
    EvalThreats(w);
    EXPECT_EQ(w->hung, SqBit(Sq("e4")) | SqBit(Sq("d5")));
    EXPECT_TRUE(Sum(WHITE, -25, -25));
    EXPECT_TRUE(Sum(BLACK, -15, -28));
    EXPECT_EQ(w->eval_alert[WHITE], 256);
    EXPECT_EQ(w->eval_alert[BLACK], 64);
    // A rook hit by a knight is hung although another rook defends it.
    Prepare("4k3/8/8/8/8/2n5/R7/R3K3 w - - 0 1", true);
    EvalThreats(w);
    EXPECT_EQ(w->hung, SqBit(Sq("a2")));
    // A fork: two hung pieces add multiple_hung once.
    Prepare("4k3/8/8/8/4B3/2n5/R7/4K3 w - - 0 1", true);
    EvalThreats(w);
    EXPECT_TRUE(Sum(WHITE, -58, -66));
    EXPECT_EQ(w->eval_alert[WHITE], 512);
}

TEST_F(EvalTerms, PawnPushThreat) {
    Prepare("4k3/8/3n4/8/4P3/8/8/4K3 w - - 0 1", true);
    EvalPawnPushThreats(w);
    EXPECT_TRUE(Sum(BLACK, -10, -8));
    EXPECT_TRUE(Sum(WHITE, 0, 0));
}

TEST_F(EvalTerms, KingSafetyAndEndgameKing) {
    // Shield f2 g2 h2: 4 * 54 * 4 / 16 - 64 = -10; defenders -6; units below 1;
    // table (8,-29), boxed in -10, two safe checks (-8,-10) each.
    Prepare("r2qk3/8/8/8/8/8/5PPP/6K1 w - - 0 1", true);
    EvalKing(w, Sq("g1"));
    EXPECT_EQ(w->safe_checks[WHITE], 2);
    EXPECT_TRUE(Sum(WHITE, -24, -59));
    EXPECT_EQ(w->eval_alert[WHITE], 0);
    // Against a lone rook no safety term; no queen halves the opening part.
    Prepare("3rk3/8/8/8/8/8/5PPP/6K1 w - - 0 1", true);
    EvalKing(w, Sq("g1"));
    EXPECT_TRUE(Sum(WHITE, 4, -39));
    // No pawns at all: the distance loop takes 8 + 10 + 12.
    Prepare("4k3/4r3/8/8/8/8/4R3/4K3 w - - 0 1", true);
    EvalKing(w, Sq("e1"));
    EXPECT_TRUE(Sum(WHITE, -4, -42));
}

TEST_F(EvalTerms, QueenReachingTheKingRaisesTheAlert) {
    Prepare("6k1/8/8/8/8/3qn3/5PPP/6K1 w - - 0 1", true);
    EvalKing(w, Sq("g1"));
    EXPECT_EQ(w->eval_alert[WHITE], 900);
}

TEST_F(EvalTerms, PassedPawnExchangeOnThePushSquare) {
    Position* pos = &t->pos;
    struct Case {
        const char* fen;
        const char* from;
        const char* to;
        int gain, v;
    } cases[] = {
        {"4n1k1/8/8/3P4/8/8/8/6K1 w - - 0 1", "d5", "d6", 100, 0},    // taken for nothing
        {"4n1k1/8/8/2PP4/8/8/8/6K1 w - - 0 1", "d5", "d6", 0, 0},     // N takes, c5 retakes: 100 - 330
        {"8/4k3/8/2PP4/8/8/8/6K1 w - - 0 1", "d5", "d6", 0, 0},       // the king may not take
        {"8/4k3/8/3P4/8/8/8/6K1 w - - 0 1", "d5", "d6", 100, 0},
        {"4n1k1/8/5r2/3P4/8/8/8/3R2K1 w - - 0 1", "d5", "d6", 300, 0}, // R retakes, r wins it: 100 - (330 - 530)
        {"6k1/8/8/8/4b3/8/4P3/6K1 w - - 0 1", "e2", "e4", 0, 330},    // double-step square occupied
        {"6k1/8/3n4/8/4N3/8/4P3/4R1K1 w - - 0 1", "e2", "e4", 0, 330},
    };
    for (const Case& c : cases) {
        SetTestPosition(t, c.fen);
        Position before = *pos;
        int v = -1;
        int gain = PassedPushGain(pos, pos->bb[0] | pos->bb[8], WHITE, Sq(c.from), Sq(c.to), &v);
        EXPECT_EQ(gain, c.gain) << c.fen;
        EXPECT_EQ(v, c.v) << c.fen;
        EXPECT_EQ(memcmp(&before, pos, sizeof before), 0) << "board not restored: " << c.fen;
    }
}

TEST_F(EvalTerms, ExchangeTestRestoresEveryBoard) {
    std::vector<std::string> fens = RandomPositions(StartFens(), 30, 80, 99);
    Position* pos = &t->pos;
    int tested = 0;
    for (const std::string& f : fens) {
        SetTestPosition(t, f.c_str());
        Position before = *pos;
        for (int c = 0; c < 2; c++)
            for (Bitboard b = pos->bb[8 * c + PAWN]; b; b = ClearLSB(b)) {
                int s = LSB(b), r = RelRank(s, c);
                if (r == 0 || r > 5) continue;
                int to = s + 2 * pawn_dir[c];  // whatever stands there, kings aside
                if ((pos->board[to] & 7) == KING) continue;
                int v;
                PassedPushGain(pos, pos->bb[0] | pos->bb[8], c, s, to, &v);
                ASSERT_EQ(memcmp(&before, pos, sizeof before), 0) << f << " pawn " << square_name[s];
                tested++;
            }
    }
    EXPECT_GT(tested, 1000);
}

// The passed pawn d5 advances safely and freely to d6: ppawn2 62 + (62 + 64) / 8
// = 77; the black king on g8 stays just inside the square. Defended by a pawn
// on c4 the bonus grows by a quarter to 96: (96 x 11 / 16, 96 + (24 x 3 - 16 x 6)
// x 5 / 8) = (66, 81). With the pawn on c3 instead it stays 77: (52, 62).
TEST_F(EvalTerms, ProtectedPassedPawnEarnsAQuarterMore) {
    const TermCase cases[] = {
        {"6k1/8/8/2pP4/2P5/8/8/6K1 w - - 0 1", 66, 81, "passed pawn defended by c4"},
        {"6k1/8/8/2pP4/8/2P5/8/6K1 w - - 0 1", 52, 62, "passed pawn not defended"},
    };
    for (const TermCase& c : cases) ExpectForBothColours(c, true, EvalPassedPawns, true);
}

TEST_F(EvalTerms, AlertWords) {
    // d5 advances safely and freely: 2 << 5 + 6 << 5 for black.
    EvalFen(t, "6k1/5p2/8/3P4/8/8/5P2/6K1 w - - 0 1");
    EXPECT_EQ(t->stack[1].eval_extra1, 0);
    EXPECT_EQ(t->stack[1].eval_extra2, 256);
    // A king on the double-step square: no safe advance for d2; f7 goes to f5 freely.
    EvalFen(t, "6k1/5p2/8/8/3K4/8/3P4/8 w - - 0 1");
    EXPECT_EQ(t->stack[1].eval_extra1, 64);
    EXPECT_EQ(t->stack[1].eval_extra2, 0);
    // A knight on the enemy back rank with one square (250), the c-pawn's free
    // advance (16 + 48); the knight hits the undefended c7 pawn (64).
    EvalFen(t, "N6k/2p5/8/8/8/8/8/6K1 w - - 0 1");
    EXPECT_EQ(t->stack[1].eval_extra1, 314);
    EXPECT_EQ(t->stack[1].eval_extra2, 64);
}

TEST_F(EvalTerms, ScaleRules) {
    auto scale = [&](const char* fen) {
        EvalFen(t, fen);
        return ScaleFactor(w, 1);
    };
    EXPECT_EQ(scale("k7/8/8/8/P7/8/8/2B1K3 w - - 0 1"), 16);    // a-pawn, dark bishop, king in the corner
    EXPECT_EQ(scale("k7/8/8/8/P7/8/8/3BK3 w - - 0 1"), 256);    // the right bishop
    EXPECT_EQ(scale("8/8/8/4k3/8/4p3/8/2N1KN2 w - - 0 1"), 16); // two knights
    EXPECT_EQ(scale("4k3/8/8/8/8/3b4/8/R3K3 w - - 0 1"), 32);   // no pawns: 16 x piece phase
    EXPECT_EQ(scale("4k3/8/3b4/8/3P4/8/2B5/4K3 w - - 0 1"), 76);    // one pawn, king in front
    EXPECT_EQ(scale("4k3/7p/3b4/8/2PP4/8/2B5/4K3 w - - 0 1"), 192); // opposite bishops
}

TEST_F(EvalTerms, BishopAndKnightMateCorner) {
    // Light bishop: a8 counts as a mating corner. 740 + 8 * 7 + 10 - 12.
    EXPECT_EQ(EvalFen(t, "k7/8/1K6/8/8/8/8/1B1N4 w - - 0 1"), 794);
    // Dark bishop: a8 is the wrong corner.
    EXPECT_EQ(EvalFen(t, "k7/8/1K6/8/8/8/8/2BN4 w - - 0 1"), 738);
    EXPECT_EQ(EvalFen(t, "k7/8/1K6/8/8/8/8/2BN4 b - - 0 1"), -738);
}

}  // namespace
