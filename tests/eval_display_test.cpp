// The evaluation displays: the derived tables and the traced breakdown.
#include <sstream>
#include <string>
#include <vector>

#include "base/output.h"
#include "driver_test_util.h"
#include "eval/display.h"
#include "eval_test_util.h"

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream s(text);
    std::string l;
    while (std::getline(s, l)) lines.push_back(l);
    return lines;
}

// The lines of text from the one equal to first, count of them.
std::vector<std::string> LinesFrom(const std::string& text, const std::string& first, size_t count) {
    std::vector<std::string> all = SplitLines(text), out;
    for (size_t i = 0; i < all.size(); i++)
        if (all[i] == first) {
            for (size_t j = i; j < all.size() && j < i + count; j++) out.push_back(all[j]);
            break;
        }
    return out;
}

class EvalDisplayTest : public ::testing::Test {
protected:
    void SetUp() override { InitEvalEnvironment(); }
    void TearDown() override {
        Personality = DefaultPersonality;
        SetEvalParams();
    }
};

}  // namespace

TEST_F(EvalDisplayTest, ParameterListingOfTheDefaultTables) {
    std::string text = EvalParamsText();
    std::vector<std::string> all = SplitLines(text);
    ASSERT_GE(all.size(), 16u);
    std::vector<std::string> head(all.begin(), all.begin() + 16);
    std::vector<std::string> want = {
        "piece values=  90/110  380/360  390/375  535/635  1200/1200",
        "bishop_pair= 30 , 50",
        "",
        "KingDanger[]=",
        " 0:      0     0     1     2     4     6     9    12    16    20 ",
        "10:     25    30    36    42    49    56    64    72    81    90 ",
        "20:    100   110   121   132   144   156   169   182   196   210 ",
        "30:    225   240   254   268   281   294   307   319   331   343 ",
        "40:    354   365   376   386   396   406   416   426   435   444 ",
        "50:    453   462   471   479   487   495   503   511   519   526 ",
        "60:    533   540   547   554 ",
        "",
        "PawnShield[]= 0 6 12 18 24 30 36 42 48 54 54 54 54 54 54 54 54 54 54 54 54 54 54",
        "",
        "  0  nmob= -18/-23  bmob=-23/-27  rmob=-21/-26  qmob= -18/-48",
        "  1  nmob=  -6/ -7  bmob=-11/-13  rmob=-10/-12  qmob= -11/-28"};
    EXPECT_EQ(head, want);
    std::vector<std::string> tail = LinesFrom(text, " 18  nmob=   0/  0  bmob= 39/ 45  rmob= 34/ 44  qmob=  11/ 28", 15);
    EXPECT_EQ(tail, std::vector<std::string>({" 18  nmob=   0/  0  bmob= 39/ 45  rmob= 34/ 44  qmob=  11/ 28",
                                              "queen_mob[28] = 19/50", "rank=2,  ppawn=   6 ,   9",
                                              "rank=3,  ppawn=   6 ,   9", "rank=4,  ppawn=  14 ,  26",
                                              "rank=5,  ppawn=  36 ,  62", "rank=6,  ppawn=  80 , 122",
                                              "rank=7,  ppawn= 132 , 200", "rank=8,  ppawn=   0 ,   0",
                                              "pawn_storm= -9/0", "hung_pawn= -15/-28", "hung_piece= -25/-25",
                                              "attacked_piece= -4/-15", "knight_outpost= 16/0",
                                              "bishop_outpost= 13/0"}));
    // Eight tables in their order, each twice (opening and endgame values).
    size_t at = 0;
    for (const char* name : {"Pawn", "Knight", "Bishop", "Rook", "Queen", "King", "Connected Pawn", "Defended Pawn"}) {
        size_t p = text.find(std::string("\n") + name + "\n", at);
        ASSERT_NE(p, std::string::npos) << name;
        at = p + 1;
    }
    EXPECT_EQ(text.substr(text.size() - 4), "\n\n\n\n") << "an empty line ends the last table, then two line ends";
}

TEST_F(EvalDisplayTest, SquareTableLayoutRankEightFirst) {
    // The rook table: base -6 -3 0 2 on every rank, mirrored, times 9/8, no endgame part.
    const std::string row = "   -6    -3     0     2     2     0    -3    -6 \n";
    const std::string zeros = "    0     0     0     0     0     0     0     0 \n";
    std::string want = "Rook\n";
    for (int i = 0; i < 8; i++) want += row;
    want += "\nRook\n";
    for (int i = 0; i < 8; i++) want += zeros;
    want += "\n";
    EXPECT_EQ(PSQTableText(PST_rook, "Rook"), want);
    // Rank 8 comes first: the pawn table's opening values on rank 7 are
    // 8 12 16 20 times 28/28, and 0 on rank 8.
    std::vector<std::string> pawn = SplitLines(PSQTableText(PST_pawn, "Pawn"));
    EXPECT_EQ(pawn[1], "    0     0     0     0     0     0     0     0 ");
    EXPECT_EQ(pawn[2], "    8    12    16    20    20    16    12     8 ");
}

TEST_F(EvalDisplayTest, ListingReadsTheLiveTables) {
    Words(Personality)[W_PAWN_VALUE] = 100;
    Words(Personality)[W_PAWN_VALUE + 1] = 120;
    Words(Personality)[W_PCT_KING_SAFETY] = 0;
    SetEvalParams();
    std::string text = EvalParamsText();
    EXPECT_EQ(SplitLines(text)[0], "piece values=  100/120  380/360  390/375  535/635  1200/1200");
    EXPECT_EQ(LinesFrom(text, "KingDanger[]=", 2)[1],
              " 0:      0     0     0     0     0     0     0     0     0     0 ");
}

TEST_F(EvalDisplayTest, BreakdownFormat) {
    SetGamePosition("4k3/pp6/8/8/4n3/8/3B4/QQ2K3 w - -");
    EvalTrace& t = PBlock.eval_trace;
    memset(&t, 0, sizeof t);
    t.stage = 14;
    t.scale = 0.5;
    t.mtl[0] = 2600, t.mtl[1] = 560;
    t.pos[0] = -12, t.pos[1] = 31;
    t.kings[0] = 7;
    t.passers[1] = 44;
    t.square[0] = 1234, t.square[4] = -7, t.square[60] = 5;
    t.hung = (1ULL << 28) | (1ULL << 11);
    t.pinned = 1ULL << 11;
    SearchData.root_eval = -250;
    SearchData.qscore = 12;
    std::string want =
        "eval= -250, qscore= 12, stage= 14, draw_adj= 0.50\n"
        "\n"
        "hung pieces on:   d2  e4\n"
        "pinned pieces on :  d2\n"
        "           white    black     diff\n"
        "mtl=        2600      560     2040   (QQB :: NPP)\n"
        "pos=         -12       31      -43\n"
        "pawns=         0        0        0\n"
        "knights=       0        0        0\n"
        "bishops=       0        0        0\n"
        "rooks=         0        0        0\n"
        "queens=        0        0        0\n"
        "kings=         7        0        7\n"
        "passers=       0       44      -44\n"
        " - + - + k + - +        -    -    -    -    5    -    -    -\n"
        " p p + - + - + -        0    0    -    -    -    -    -    -\n"
        " - + - + - + - +        -    -    -    -    -    -    -    -\n"
        " + - + - + - + -        -    -    -    -    -    -    -    -\n"
        " - + - + n + - +        -    -    -    -    0    -    -    -\n"
        " + - + - + - + -        -    -    -    -    -    -    -    -\n"
        " - + - B - + - +        -    -    -    0    -    -    -    -\n"
        " Q Q + - K - + -     1234    0    -    -   -7    -    -    -\n"
        "white\n";
    EXPECT_EQ(EvalInfoText(), want);
    // Equal material: both letter strings are empty.
    SetGamePosition(START_FEN);
    EXPECT_NE(EvalInfoText().find("mtl=        2600      560     2040   ( :: )\n"), std::string::npos);
}

TEST(EvalDisplaySearch, BreakdownOfTheGamePositionComesFromATracedRootEvaluation) {
    SetUpSearchEngine(1);
    PBlock.uci = 0;
    // A white bishop pinned against its king.
    SetGamePosition("4k3/4r3/8/8/8/2n5/4B3/4K3 w - -");
    uint8_t depth_limit = SearchData.depth_limit;
    testing::internal::CaptureStdout();
    ShowEvalInfo();
    std::string text = testing::internal::GetCapturedStdout();
    ThreadRecord* t = NewEvalRecord();
    int e = EvalFen(t, "4k3/4r3/8/8/8/2n5/4B3/4K3 w - -");
    FreeThreadRecord(t);
    EXPECT_EQ(SearchData.root_eval, e) << "the same evaluation as an untraced one";
    EXPECT_EQ(SearchData.depth_limit, depth_limit) << "the depth limit is restored";
    EXPECT_EQ(PBlock.debug, 0);
    std::vector<std::string> lines = SplitLines(text);
    size_t i = 0;
    while (i < lines.size() && lines[i].compare(0, 6, "eval= ") != 0) i++;
    ASSERT_LT(i, lines.size()) << text;
    // White can neither capture nor give a legal check (the bishop may not
    // leave the e-file), so the quiescence score of the root is its evaluation.
    EXPECT_EQ(SearchData.qscore, e) << "no capture or check: the quiescence search stands pat";
    char head[96];
    snprintf(head, sizeof head, "eval= %d, qscore= %d, stage= 20, draw_adj= ", e, e);
    EXPECT_EQ(lines[i].compare(0, strlen(head), head), 0) << lines[i];
    EXPECT_NE(text.find("\npinned pieces on :  e2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("mtl=  "), std::string::npos);
    EXPECT_NE(text.find("   (B :: RN)\n"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 7), "white\n\n");
}

TEST(EvalDisplaySearch, ADisplayWithoutAStaticScoreShowsNothingOfTheLastOne) {
    SetUpSearchEngine(1);
    PBlock.uci = 0;
    // First a display with a free passed pawn and a middle-game stage.
    SetGamePosition("6k1/5ppp/3P4/8/8/8/5PPP/R5K1 w - -");
    testing::internal::CaptureStdout();
    ShowEvalInfo();
    std::string first = testing::internal::GetCapturedStdout();
    ASSERT_NE(first.find("free pawns on :  d6\n"), std::string::npos) << first;
    // Then the side to move in check: the root evaluation writes no trace.
    SetGamePosition("4k3/8/8/8/8/8/4r3/R3K3 w - -");
    testing::internal::CaptureStdout();
    ShowEvalInfo();
    std::string text = testing::internal::GetCapturedStdout();
    EXPECT_EQ(text.find("free pawns"), std::string::npos) << text;
    EXPECT_NE(text.find(", stage= 0, draw_adj= 1.00\n"), std::string::npos) << text;
}
