// The evaluation words of the settings record and the tables derived from
// them, checked against values worked out by hand from the rules.
#include "eval_test_util.h"

namespace {

class EvalParams : public ::testing::Test {
protected:
    void SetUp() override { InitEvalEnvironment(); }
    void TearDown() override {
        Personality = DefaultPersonality;
        SetEvalParams();
    }
    static int16_t* W() { return Words(Personality); }
};

#define EXPECT_PAIR(s, op, eg)       \
    do {                             \
        EXPECT_EQ(ScoreOp(s), (op)); \
        EXPECT_EQ(ScoreEg(s), (eg)); \
    } while (0)

TEST_F(EvalParams, DefaultsSitAtTheirWordNumbers) {
    const int16_t* w = Words(DefaultPersonality);
    EXPECT_EQ(w[248], 90);
    EXPECT_EQ(w[257], 1200);
    EXPECT_EQ(w[266], -8);
    EXPECT_EQ(w[281], 50);
    EXPECT_EQ(w[298], -25);
    EXPECT_EQ(w[302], 0);
    EXPECT_EQ(w[304], 54);
    EXPECT_EQ(w[306], -9);
    EXPECT_EQ(w[311], -10);
    EXPECT_EQ(w[313], -15);
    EXPECT_EQ(w[322], -8);
    EXPECT_EQ(w[336], 52);
    for (int i = 337; i <= 368; i++) EXPECT_EQ(w[i], 100) << "percent word " << i;
    EXPECT_EQ(w[369], 3);    // pst_a1
    EXPECT_EQ(w[372], -6);   // pst_d1
    EXPECT_EQ(w[385], -20);  // pst_a5
    EXPECT_EQ(w[400], -26);  // pst_d8
    EXPECT_EQ(w[401], 2);    // p1
    EXPECT_EQ(w[409], 512);  // p9
    EXPECT_EQ(w[415], 4);    // p15
    for (int i : {272, 279, 305, 308, 312, 323, 324}) EXPECT_EQ(w[i], 0) << "word " << i;
}

TEST_F(EvalParams, ScorePairsPackAndUnpack) {
    EXPECT_EQ(MakeScore(-50, -50), -3276850);
    EXPECT_EQ(MakeScore(16, 8), 524304);
    EXPECT_EQ(lone_queen >> 16, -51);  // the borrow from a negative opening half
    EXPECT_PAIR(lone_queen, -50, -50);
    EXPECT_PAIR(pawn_blocked, -3, -6);
    EXPECT_PAIR(SpMul(MakeScore(-7, 5), 9), -63, 45);
    EXPECT_PAIR(SpSub(MakeScore(3, -2), MakeScore(10, 10)), -7, -12);
}

TEST_F(EvalParams, MobilityTablesFollowThePowerCurve) {
    const int kn[11][2] = {{-18, -23}, {-6, -7}, {0, 0}, {5, 6}, {9, 12}, {13, 17},
                           {17, 21}, {21, 26}, {24, 30}, {27, 34}, {30, 38}};
    for (int i = 0; i < 11; i++) EXPECT_PAIR(knight_mobility[i], kn[i][0], kn[i][1]);
    EXPECT_PAIR(bishop_mobility[0], -23, -27);
    EXPECT_PAIR(bishop_mobility[4], 2, 3);
    EXPECT_PAIR(bishop_mobility[20], 43, 50);
    EXPECT_PAIR(rook_mobility[0], -21, -26);
    EXPECT_PAIR(rook_mobility[4], 2, 3);
    EXPECT_PAIR(rook_mobility[20], 38, 49);
    EXPECT_PAIR(queen_mobility[0], -18, -48);
    EXPECT_PAIR(queen_mobility[8], 0, 1);
    EXPECT_PAIR(queen_mobility[28], 19, 50);
    for (int i = 11; i < 22; i++) EXPECT_EQ(knight_mobility[i], 0);
    EXPECT_EQ(bishop_mobility[21], 0);
    EXPECT_EQ(rook_mobility[21], 0);
    for (int i = 29; i < 32; i++) EXPECT_EQ(queen_mobility[i], 0);
}

TEST_F(EvalParams, KingDangerShieldAndPassedPawnTables) {
    const int kd[] = {0, 0, 1, 2, 4, 6, 9, 12, 16, 20, 25};
    for (int i = 0; i <= 10; i++) EXPECT_EQ(KingDanger[i], kd[i]) << i;
    EXPECT_EQ(KingDanger[30], 225);
    EXPECT_EQ(KingDanger[31], 240);
    EXPECT_EQ(KingDanger[32], 254);  // 240 + 470 / 32, below 32 * 32 / 4
    EXPECT_EQ(KingDanger[62], 547);
    EXPECT_EQ(KingDanger[63], 554);
    for (int i = 1; i < 64; i++) EXPECT_GE(KingDanger[i], KingDanger[i - 1]);
    for (int i = 0; i < 9; i++) EXPECT_EQ(PawnShield[i], 6 * i);
    for (int i = 9; i < 24; i++) EXPECT_EQ(PawnShield[i], 54);
    const int c1[8] = {0, 6, 6, 14, 36, 80, 132, 0}, c2[8] = {0, 9, 9, 26, 62, 122, 200, 0};
    for (int r = 0; r < 8; r++) {
        EXPECT_EQ(ppawn1[r], c1[r]);
        EXPECT_EQ(ppawn2[r], c2[r]);
    }
}

TEST_F(EvalParams, PieceSquareTablesFoldTheBoardAndTruncate) {
    auto sq = [](const char* n) { return (n[0] - 'a') + 8 * (n[1] - '1'); };
    EXPECT_PAIR(PST_knight[sq("a1")], -27, -32);  // 36 * -32 / 42 = -27.4
    EXPECT_PAIR(PST_knight[sq("e4")], 8, 10);     // folded onto d4: 36 * 10 / 42 = 8.6
    EXPECT_PAIR(PST_knight[sq("h8")], -44, -52);  // 36 * -52 / 42 = -44.6
    EXPECT_PAIR(PST_pawn[sq("d4")], 10, 2);       // 8 * 1 / 4 = 2
    EXPECT_PAIR(PST_pawn[sq("a2")], -8, 0);
    EXPECT_PAIR(PST_queen[sq("d5")], -2, 3);      // 15 * 2 / 14 = 2, then -4 on ranks 5-8
    EXPECT_PAIR(PST_queen[sq("a8")], -16, -21);
    EXPECT_PAIR(PST_queen[sq("d4")], 2, 3);
    EXPECT_PAIR(PST_king[sq("g1")], 8, -29);      // folded onto b1: -34 * 52 / 60 = -29.5
    EXPECT_PAIR(PST_rook[sq("h3")], -6, 0);       // 9 * -6 / 8 = -6.75
    EXPECT_PAIR(PST_bishop[sq("b7")], 0, 0);
    EXPECT_PAIR(PST_bishop[sq("a7")], -13, -14);  // 16 * -13 / 14 = -14.9
    EXPECT_PAIR(connected_pawn[sq("d7")], 48, 36);
    EXPECT_PAIR(connected_pawn[sq("f3")], 1, 0);  // 36 * 1 / 48 = 0.75
    EXPECT_PAIR(defended_pawn[sq("c5")], 8, 8);
}

TEST_F(EvalParams, PercentagesRoundHalvesAwayFromZero) {
    W()[357] = 50;   // Pawn_Structure 50 %
    W()[340] = 50;   // PST_Knight endgame 50 %
    W()[349] = 50;   // Mobility_Knight opening 50 %
    W()[350] = 50;
    W()[361] = 200;  // King_Safety 200 %
    W()[360] = 50;   // Passed_Pawns 50 %
    W()[363] = W()[364] = 0;  // Threats 0,0
    W()[337] = W()[338] = 0;  // PST_Pawn: read by nothing
    W()[284] = -5;            // knight_outpost opening
    SetEvalParams();
    EXPECT_PAIR(pawn_doubled, -3, -5);    // round(0.5 * -5) = -3
    EXPECT_PAIR(pawn_weak, -4, -6);
    EXPECT_PAIR(PST_knight[0], -27, -16);
    EXPECT_PAIR(knight_mobility[0], -9, -12);  // round(-11.5) = -12
    EXPECT_EQ(KingDanger[3], 5);               // round(4.5)
    EXPECT_EQ(ppawn2[1], 4);                   // 9 * 50 / 100 truncated
    EXPECT_EQ(ppawn1[6], 66);
    for (ScorePair s : {hung_pawn, hung_piece, multiple_hung, attacked_piece, threat_pawn_push}) EXPECT_EQ(s, 0);
    EXPECT_PAIR(PST_pawn[27], 5, 2);           // Pawn_Structure scales the pawn table
    EXPECT_PAIR(knight_outpost_xtra, -2, 0);   // -5 / 2 truncated toward zero
}

TEST_F(EvalParams, RebuildMarksEveryPoolThread) {
    ThreadRecord* a = NewEvalRecord();
    ThreadRecord* b = NewEvalRecord();
    ThreadData[0] = a;
    ThreadData[1] = b;
    SearchData.threads = 2;
    SetEvalParams();
    EXPECT_EQ(a->eval_params_changed, 1);
    EXPECT_EQ(b->eval_params_changed, 1);
    SearchData.threads = 0;
    ThreadData[0] = ThreadData[1] = nullptr;
    FreeThreadRecord(a);
    FreeThreadRecord(b);
}

TEST_F(EvalParams, ExtremeWordsStayInsideTheScoreRange) {
    ThreadRecord* t = NewEvalRecord();
    std::vector<std::string> fens = RandomPositions(StartFens(), 8, 60, 777);
    for (int16_t v : {(int16_t)32767, (int16_t)-32768}) {
        for (int i = 248; i < SETTINGS_WORDS; i++) W()[i] = v;
        SetEvalParams();
        for (const std::string& f : fens) {
            int e = EvalFen(t, f.c_str());
            if (e == -10001) continue;
            EXPECT_LE(e, EVAL_LIMIT) << f;
            EXPECT_GE(e, -EVAL_LIMIT) << f;
        }
    }
    FreeThreadRecord(t);
}

}  // namespace
