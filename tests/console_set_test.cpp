// The console's settings, board editor, move notation and PGN reader and
// writer, run in-process on the game record.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/output.h"
#include "board/makemove.h"
#include "board/position.h"
#include "driver_test_util.h"
#include "e2e_child.h"
#include "tools/registry.h"
#include "tools/tuner.h"
#include "uci/console.h"
#include "uci/console_set.h"
#include "uci_test_util.h"

namespace {

class ConsoleTest : public UciTest {
protected:
    void SetUp() override {
        UciTest::SetUp();
        PBlock.uci = 0;
    }
    // A temporary PGN file with the given text.
    std::string PgnFile(const std::string& text) {
        char name[] = "/tmp/tesk_console_XXXXXX";
        int fd = mkstemp(name);
        EXPECT_GE(fd, 0);
        FILE* f = fdopen(fd, "w");
        fputs(text.c_str(), f);
        fclose(f);
        files_.push_back(name);
        return name;
    }
    void TearDown() override {
        for (const std::string& f : files_) remove(f.c_str());
        UciTest::TearDown();
    }
    std::string Fen() {
        char buf[128];
        MakeEPD(&CTD->pos, buf);
        return buf;
    }
    std::vector<std::string> files_;
};

// The position an editor session builds from the start position.
Position Edited(std::initializer_list<const char*> lines, std::string* refused = nullptr) {
    Position p = CTD->pos;
    for (const char* l : lines) EditLine(&p, l);
    std::string r = FinishEditedPosition(&p);
    if (refused) *refused = r;
    return p;
}

}  // namespace

TEST_F(ConsoleTest, SetChangesTheNamedSettingsAndKeepsSearchWordsInRange) {
    SearchDataRecord& sd = SearchData;
    Captured([] {
        ConsoleSet("hash", "2", "", "");
        ConsoleSet("noise", "2.5", "", "");
        ConsoleSet("xmultipvx", "0", "", "");
        ConsoleSet("debug", "1", "", "");
    });
    EXPECT_EQ(sd.use_hash, 2);
    EXPECT_EQ(PBlock.noise, 2.5);
    EXPECT_EQ(Personality.MultiPV, 1) << "at least one line";
    EXPECT_EQ(PBlock.debug, 1);

    Captured([] { ConsoleSet("level", "40", "5:00", "0"); });
    EXPECT_EQ(sd.limit_kind, 40);
    EXPECT_EQ(sd.move_time, 300.0);
    EXPECT_EQ(sd.wtime, 300.0);
    EXPECT_EQ(sd.btime, 300.0);
    EXPECT_EQ(sd.increment, 0.0);
    Captured([] { ConsoleSet("level", "0", "120", "2"); });
    EXPECT_EQ(sd.limit_kind, 0);
    EXPECT_EQ(sd.move_time, 120.0);
    EXPECT_EQ(sd.increment, 2.0);

    Captured([] { ConsoleSet("depth", "100", "", ""); });
    EXPECT_EQ(sd.depth_limit, 66);
    Captured([] { ConsoleSet("depth", "-5", "", ""); });
    EXPECT_EQ(sd.depth_limit, 0) << "a negative depth must not wrap around";
    Captured([] { ConsoleSet("target_nps", "-7", "", ""); });
    EXPECT_EQ(Personality.UCI_LimitStrength, 1);
    EXPECT_EQ(sd.target_nps, 1.0);

    std::string out = Captured([] {
        ConsoleSet("SEP_depth", "50", "", "");
        ConsoleSet("LMR_depth", "-1", "", "");
        ConsoleSet("Selectivity", "500", "", "");
        ConsoleSet("ponder", "7", "", "");
        ConsoleSet("ProbCut_depth", "5", "", "");
    });
    EXPECT_EQ(Personality.SEP_depth, 11) << "the margin table has 12 entries";
    EXPECT_EQ(Personality.LMR_depth, 0);
    EXPECT_EQ(Personality.Selectivity, 200);
    EXPECT_EQ(Personality.Ponder, 1);
    EXPECT_EQ(Personality.ProbCut_depth, 5);
    EXPECT_TRUE(Contains(out, "SEP_depth is kept within 0..11\nSEP_depth set to 11\n")) << out;
    EXPECT_TRUE(Contains(out, "ProbCut_depth set to 5\n")) << out;

    Captured([] { ConsoleSet("ss", "0", "", ""); });
    EXPECT_EQ(Personality.NMP_depth, 99);
    EXPECT_EQ(Personality.SEP_depth, 0);
    EXPECT_EQ(Personality.LMP_depth, 0);
    EXPECT_EQ(Personality.LMR_depth, 99);
    Captured([] { ConsoleSet("ss", "1", "", ""); });
    EXPECT_EQ(Personality.NMP_depth, DefaultPersonality.NMP_depth);
    EXPECT_EQ(Personality.Selectivity, DefaultPersonality.Selectivity);

    Personality.params_changed = 0;
    EXPECT_EQ(Captured([] { ConsoleSet("MultiPV", "4", "", ""); }), "");
    EXPECT_EQ(Personality.MultiPV, 1);
    EXPECT_EQ(Personality.params_changed, 1) << "every set marks the tables for rebuilding";
}

TEST_F(ConsoleTest, EditorBuildsTheSamePositionAsItsFenText) {
    std::string refused;
    Position p = Edited({"#", "b ke8 pd7", "w Ke1 Rh1 Pa2 Nb1"}, &refused);
    EXPECT_EQ(refused, "");
    Position q;
    q.owner = CTD;
    ASSERT_EQ(SetPosition(&q, "4k3/3p4/8/8/8/8/P7/1N2K2R w K -"), 0);
    EXPECT_EQ(p.castle, 1) << "only white's short castling keeps king and rook";
    EXPECT_EQ(p.side, WHITE);
    EXPECT_EQ(memcmp(p.board, q.board, sizeof p.board), 0);
    EXPECT_EQ(memcmp(p.bb, q.bb, sizeof p.bb), 0);
    EXPECT_EQ(p.key, q.key);
    EXPECT_EQ(p.pawn_key, q.pawn_key);
    EXPECT_EQ(p.material[0], q.material[0]);
    EXPECT_EQ(p.material[1], q.material[1]);
    EXPECT_EQ(p.npm[0], q.npm[0]);
    EXPECT_EQ(p.npm[1], q.npm[1]);
    EXPECT_EQ(p.king_sq[0], 4);
    EXPECT_EQ(p.king_sq[1], 60);

    // Editing a position keeps its en-passant square only while it still fits.
    SetPosition(&CTD->pos, "4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    EXPECT_EQ(Edited({"w Nb1"}).ep, 43);
    EXPECT_EQ(Edited({"w xd5"}).ep, NO_SQ);
    EXPECT_EQ(Edited({"b Nb8"}).ep, NO_SQ) << "black to move now";
}

TEST_F(ConsoleTest, EditorRefusesPositionsTheEngineCannotPlay) {
    SetPosition(&CTD->pos, "4k3/8/8/8/8/8/8/4K3 w - -");
    std::string r;
    Edited({"#", "w Ke1"}, &r);
    EXPECT_EQ(r, "black has no king");
    Edited({"w Kd4"}, &r);
    EXPECT_EQ(r, "white has more than one king");
    Edited({"w Pa8"}, &r);
    EXPECT_EQ(r, "a pawn stands on the first or last rank");
    Edited({"b Qe2"}, &r);
    EXPECT_EQ(r, "the side not to move (white) is in check");
    Edited({"w Pa3 Pb3 Pc3 Pd3 Pe3 Pf3 Pg3 Ph3 Pa4"}, &r);
    EXPECT_EQ(r, "white has more than eight pawns");
    Edited({"b Pa6 Pb6 Pc6 Pd6 Pe6 Pf6 Pg6 Ph6 Na5 Nb5 Nc5 Nd5 Ne5 Nf5 Ng5 Nh5"}, &r);
    EXPECT_EQ(r, "black has more than sixteen pieces");
    // A bad square ends its line: the words after it are not read.
    std::string out = Captured([&] {
        Position p = Edited({"w Pi2 Pa2", "w Pb2 Pb9"}, &r);
        EXPECT_EQ(p.board[8], 0);
        EXPECT_EQ(p.board[9], PAWN);
    });
    EXPECT_EQ(r, "");
    EXPECT_EQ(out, "edit: bad square in 'Pi2'; the rest of the line is ignored\n"
                   "edit: bad square in 'Pb9'; the rest of the line is ignored\n");
}

TEST_F(ConsoleTest, AlgebraicNotationFollowsTheStandard) {
    Position* p = &CTD->pos;
    auto san = [&](const char* fen, const char* uci) {
        SetPosition(p, fen);
        Move legal[MAX_LEGAL_MOVES];
        int n = GenerateLegalMoves(p, legal);
        for (int i = 0; i < n; i++) {
            char u[8], s[16];
            if (!strcmp(UciMoveText(legal[i], u), uci)) return std::string(SanMove(p, legal[i], s, true));
        }
        return std::string("(illegal)");
    };
    EXPECT_EQ(san("4k3/8/8/8/8/5N2/8/1N2K3 w - -", "b1d2"), "Nbd2");
    EXPECT_EQ(san("4k3/8/8/8/8/8/8/1N2KN2 w - -", "f1d2"), "Nfd2");
    EXPECT_EQ(san("4k3/8/8/8/8/1N6/8/1N2K3 w - -", "b3d2"), "N3d2");
    EXPECT_EQ(san("8/7k/8/8/8/Q7/8/Q1Q4K w - -", "a1b2"), "Qa1b2");
    EXPECT_EQ(san("7k/8/8/8/1K6/1N6/1r6/1N6 w - -", "b1d2"), "Nd2") << "a pinned rival needs no disambiguation";
    EXPECT_EQ(san("4k3/8/8/3pP3/8/8/8/4K3 w - d6", "e5d6"), "exd6");
    EXPECT_EQ(san("4k3/1P6/8/8/8/8/8/4K3 w - -", "b7b8q"), "b8=Q+");
    EXPECT_EQ(san("4k3/1P6/8/8/8/8/8/4K3 w - -", "b7b8n"), "b8=N");
    EXPECT_EQ(san("6k1/5ppp/8/8/8/8/8/R5K1 w - -", "a1a8"), "Ra8#");
    EXPECT_EQ(san("r3k2r/8/8/8/8/8/8/4K3 b kq -", "e8g8"), "O-O");
    EXPECT_EQ(san("r3k2r/8/8/8/8/8/8/4K3 b kq -", "e8c8"), "O-O-O");

    // Reading: check and annotation signs, castling with zeros; ambiguous and
    // unknown texts name nothing.
    SetPosition(p, "7k/8/8/8/1K6/1N6/1r6/1N6 w - -");
    Move m = 0;
    EXPECT_EQ(IsValidMove("Nd2", &m), 0) << "the typed-move forms do not cover this one";
    EXPECT_EQ(ParseSan(p, "Nd2!?"), MakeMoveCode(1, 11));
    SetPosition(p, "8/7k/8/8/8/Q7/8/Q1Q4K w - -");
    EXPECT_EQ(ParseSan(p, "Qa1b2+"), MakeMoveCode(0, 9));
    EXPECT_EQ(ParseSan(p, "Qb2"), 0);
    EXPECT_EQ(ParseSan(p, std::string(500, 'Q').c_str()), 0);
    SetPosition(p, "r3k2r/8/8/8/8/8/8/4K3 b kq -");
    EXPECT_EQ(ParseSan(p, "0-0-0"), MakeMoveCode(60, 58));
    // Writing the check sign leaves the position and its stored line alone.
    SetPosition(p, START_FEN);
    MakeMove(p, MakeMoveCode(12, 28));
    UnmakeMove(p);
    uint64_t key = p->key;
    char s[16];
    SanMove(p, MakeMoveCode(11, 27), s, true);
    EXPECT_EQ(p->key, key);
    EXPECT_EQ(CTD->undo[0].move, MakeMoveCode(12, 28));
}

TEST_F(ConsoleTest, PgnReaderSkipsCommentsVariationsAndAnnotations) {
    std::string file = PgnFile(
        "; a file comment\n"
        "[Event \"One\"]\n[Site \"x\"]\n\n"
        "1.e4 $1 e5 ; Nf6 would be read if this were move text\n"
        "2.Nf3 (2.f4 {an {odd} comment} exf4 (2...d5 3.exd5) 3.Nf3) 2...Nc6 3.Bc4!? Bc5?! 4.0-0 {\n"
        "[not a tag]\n} Nf6 5.d3 d6 1/2-1/2\n"
        "[Event \"Two\"]\n[SetUp \"1\"]\n[FEN \"4k3/1P6/8/8/8/8/8/4K3 w - - 0 1\"]\n\n1. b8=Q+ Kd7 2. Qb7+ *\n");
    Captured([&] { LoadPgnGame(file.c_str(), ""); });
    EXPECT_EQ(Fen(), "r1bqk2r/ppp2ppp/2np1n2/2b1p3/2B1P3/3P1N2/PPP2PPP/RNBQ1RK1 w kq -");
    EXPECT_EQ(CTD->game_ply, 10);
    EXPECT_EQ(CTD->undo[10].move, 0) << "nothing to replay beyond the end of the game";
    Captured([&] { LoadPgnGame(file.c_str(), "2"); });
    EXPECT_EQ(Fen(), "8/1Q1k4/8/8/8/8/8/4K3 b - -");
    Captured([&] { LoadPgnGame(file.c_str(), "Two"); });
    EXPECT_EQ(Fen(), "8/1Q1k4/8/8/8/8/8/4K3 b - -");

    // Move text without any tag is a game of its own.
    Captured([&] { LoadPgnGame(PgnFile("1. d4 d5 2. c4 *\n").c_str(), ""); });
    EXPECT_EQ(Fen(), "rnbqkbnr/ppp1pppp/8/3p4/2PP4/8/PP2PPPP/RNBQKBNR b KQkq c3");
}

TEST_F(ConsoleTest, PgnReaderStopsAtTheLongestGameTheRecordHolds) {
    std::string moves;
    for (int i = 0; i < 250; i++) moves += "Nf3 Nf6 Ng1 Ng8 ";
    std::string out = Captured([&] { LoadPgnGame(PgnFile("[Event \"Long\"]\n\n" + moves + "*\n").c_str(), ""); });
    EXPECT_EQ(CTD->game_ply, MAX_GAME_PLY);
    EXPECT_TRUE(Contains(out, "the game is longer than 900 plies: the rest is not loaded")) << out;
}

TEST_F(ConsoleTest, SavedGameIsStandardPgnAndReadsBack) {
    const char* moves[] = {"e4", "d5", "exd5", "Qxd5", "Nc3", "Qa5", "d4", "c6", "Nf3", "Bg4", "Bf4", "e6",
                           "h3", "Bxf3", "Qxf3", "Bb4", "Be2", "Nd7", "a3", "O-O-O", "axb4", "Qxa1+"};
    for (const char* t : moves) {
        Move m;
        ASSERT_EQ(IsValidMove(t, &m), 1) << t;
        MakeMove(&CTD->pos, m);
    }
    std::string end = Fen();
    // Take two moves back: only the moves up to the current one are written.
    UnmakeMove(&CTD->pos);
    UnmakeMove(&CTD->pos);
    std::string file = PgnFile("");
    FILE* f = fopen(file.c_str(), "a");
    WritePgnGame(f);
    fclose(f);
    FILE* r = fopen(file.c_str(), "r");
    char buf[4096];
    size_t n = fread(buf, 1, sizeof buf - 1, r);
    buf[n] = 0;
    fclose(r);
    EXPECT_STREQ(buf,
                 "[Event \"Unknown\"]\n\n"
                 "e4 d5 exd5 Qxd5 Nc3 Qa5 d4 c6 Nf3 Bg4 Bf4 \n"
                 "e6 h3 Bxf3 Qxf3 Bb4 Be2 Nd7 a3 O-O-O *\n\n");
    EXPECT_EQ(CTD->game_ply, 20) << "the game record stays where it was";
    EXPECT_EQ(CTD->undo[20].move, MakeMoveCode(16, 25)) << "and keeps its line to replay";
    Captured([&] { LoadPgnGame(file.c_str(), "1"); });
    MakeMove(&CTD->pos, MakeMoveCode(16, 25));
    Move m;
    ASSERT_EQ(IsValidMove("Qxa1+", &m), 1);
    MakeMove(&CTD->pos, m);
    EXPECT_EQ(Fen(), end);
}

// ---------------------------------------------------------------------------
// The parameter sweep

namespace {

// Runs the sweep from orig on a stand-in error function; returns the values
// tried, in order, and what the sweep printed.
std::vector<int> Sweep(int orig, double (*err)(int), SweepResult* result, std::string* printed = nullptr) {
    std::vector<int> tried;
    std::string out = Captured([&] {
        *result = SweepParameter("x", orig, [&](int v) {
            tried.push_back(v);
            return err(v);
        });
    });
    if (printed) *printed = out;
    return tried;
}

}  // namespace

TEST(ParameterSweep, StepsDownThenUpThenHalvesTheInterval) {
    // The error is least at 41; the values below were worked out by hand
    // (steps of round(0.12 |best|) + 1, then halving towards the far bound).
    SweepResult r;
    std::string printed;
    auto err = [](int v) { return 0.2 + 0.001 * std::abs(v - 41); };
    EXPECT_EQ(Sweep(50, err, &r, &printed), (std::vector<int>{50, 43, 37, 47, 40, 42, 39, 41}));
    EXPECT_EQ(r.best, 41);
    EXPECT_EQ(r.lo, 40);
    EXPECT_EQ(r.hi, 42);
    EXPECT_DOUBLE_EQ(r.best_err, 0.2);
    // Each value prints its error and the best so far; the last line again at the end.
    const std::string first =
        "x= 50, err= 0.209000\n"
        "best= 50, err= 0.209000, min= -10000, max= 10000\n\n"
        "x= 43, err= 0.202000\n"
        "best= 43, err= 0.202000, min= -10000, max= 50\n\n";
    EXPECT_EQ(printed.substr(0, first.size()), first);
    const std::string last = "best= 41, err= 0.200000, min= 40, max= 42\n\n";
    EXPECT_EQ(printed.substr(printed.size() - 2 * last.size()), last + last);
}

TEST(ParameterSweep, AFirstStepDownThatFailsTurnsUpward) {
    SweepResult r;
    auto err = [](int v) { return 0.1 + 0.001 * std::abs(v - 60); };
    EXPECT_EQ(Sweep(50, err, &r), (std::vector<int>{50, 43, 57, 65, 54, 61, 63, 59, 62, 60}));
    EXPECT_EQ(r.best, 60);
    EXPECT_EQ(r.lo, 59);
    EXPECT_EQ(r.hi, 61);
}

TEST(ParameterSweep, NoImprovementKeepsTheStartAndClosesAroundIt) {
    // The same error everywhere: nothing is better than the start value.
    SweepResult r;
    auto err = [](int) { return 1.0; };
    EXPECT_EQ(Sweep(90, err, &r), (std::vector<int>{90, 78, 102, 84, 96, 87, 93, 89, 92}));
    EXPECT_EQ(r.best, 90);
    EXPECT_EQ(r.best_err, 1.0);
}

TEST(ParameterSweep, EndsAfterThirtyValuesAndKeepsWordsWithinSixteenBits) {
    SweepResult r;
    // Better and better upwards without end: the value runs into the top of a word.
    auto rising = [](int v) { return 0.5 - v * 1e-6; };
    std::vector<int> tried = Sweep(30000, rising, &r);
    ASSERT_EQ(tried.size(), 30u);
    EXPECT_EQ(tried[1], 26399) << "30000 - (round(3600) + 1)";
    EXPECT_EQ(tried[2], 32767) << "30000 + 3601 is cut to the top of a word";
    for (int v : tried) EXPECT_LE(v, 32767);
    EXPECT_EQ(r.best, 32767);
    // Better and better downwards: the steps grow with the value.
    auto falling = [](int v) { return 0.5 + v * 1e-6; };
    tried = Sweep(-20, falling, &r);
    ASSERT_EQ(tried.size(), 30u);
    EXPECT_EQ(tried[1], -23) << "-20 - (round(2.4) + 1)";
    EXPECT_EQ(tried[2], -27) << "-23 - (round(2.76) + 1)";
    for (size_t i = 1; i < tried.size(); i++) EXPECT_LT(tried[i], tried[i - 1]);
}

namespace {

// An error least at 41 whose computation reads a "quit" at its n-th call.
int error_calls, quit_at_call;
double ErrorThatReadsAQuit(int v) {
    if (++error_calls == quit_at_call) PBlock.quit = 1;
    return 0.2 + 0.001 * std::abs(v - 41);
}

}  // namespace

TEST(ParameterSweep, AQuitReadDuringAnErrorEndsTheSweepAtOnce) {
    // The values tried are those of the first sweep above; "quit" arrives
    // while the third value's error is computed: that error is not used and
    // nothing more is tried.
    SweepResult r;
    std::string printed;
    auto err = ErrorThatReadsAQuit;
    error_calls = 0;
    quit_at_call = 3;
    PBlock.quit = 0;
    EXPECT_EQ(Sweep(50, err, &r, &printed), (std::vector<int>{50, 43, 37}));
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.best, 43) << "the best of the values measured whole";
    EXPECT_DOUBLE_EQ(r.best_err, 0.202);
    EXPECT_EQ(printed,
              "x= 50, err= 0.209000\n"
              "best= 50, err= 0.209000, min= -10000, max= 10000\n\n"
              "x= 43, err= 0.202000\n"
              "best= 43, err= 0.202000, min= -10000, max= 50\n\n"
              "the sweep is stopped by quit\n"
              "best= 43, err= 0.202000, min= -10000, max= 50\n\n");
    PBlock.quit = 0;
}

namespace {

// The sweep on real searches: one pool thread, the registry empty, a
// scratch folder for the sample.
class ConsoleTuneTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetUpSearchEngine(1);
        InitControlBlock();
        PBlock.uci = 0;
        memset(ParamList, 0, sizeof ParamList);
        nParams = 0;
        flag = 0;
        ASSERT_TRUE(scratch_.entered) << "no scratch folder";
    }
    void TearDown() override {
        if (fdtune) fclose(fdtune);
        fdtune = nullptr;
    }
    InScratchDir scratch_{"sweep"};
};

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) out.push_back(l);
    return out;
}

}  // namespace

TEST_F(ConsoleTuneTest, ReportsTheBestValueAndKeepsTheOldOne) {
    const std::string file = std::string(TESK_TEST_DATA) + "/tune_small.epd";
    fdtune = fopen("tune.log", "w");
    ASSERT_NE(fdtune, nullptr);
    const int16_t before = Words(Personality)[248];
    ASSERT_EQ(before, 90);
    SearchData.depth_limit = 7;
    SearchData.use_hash = 2;
    PBlock.noise = 1.5;
    std::string printed = Captured([&] { ConsoleTune("pawn_value_op", file.c_str(), "100"); });
    const std::vector<std::string> lines = SplitLines(printed);

    ASSERT_GE(lines.size(), 8u) << printed;
    EXPECT_EQ(lines[0], "tune file= " + file);
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "tuning pawn_value_op");
    size_t first = 3;
    while (first < lines.size() && lines[first].compare(0, 15, "pawn_value_op= ") != 0) first++;
    ASSERT_LT(first, lines.size());
    EXPECT_EQ(lines[first].compare(0, 24, "pawn_value_op= 90, err= "), 0) << "the sweep starts at the word's value";
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(lines[lines.size() - 2], "done!");
    // Line 15 gives castling rights without the rook: it is named once, in
    // the file the sweep was given, not at every error computation.
    std::vector<std::string> skipped;
    for (const std::string& l : lines)
        if (Contains(l, "skipped")) skipped.push_back(l);
    EXPECT_EQ(skipped, std::vector<std::string>{"line 15 of " + file + " skipped (castling rights without their king "
                                                "or rook): rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/1NBQKBNR w KQkq - bm "
                                                "e4; ce 0; c6 0; c9 \"1-0\";"});
    EXPECT_EQ(Words(Personality)[248], 90) << "the word keeps its value";
    EXPECT_EQ(PBlock.tune_pct, 100);
    EXPECT_STREQ(PBlock.epd_file, file.c_str());
    // The sweep searched silently to depth 0 without the table; the
    // console's settings are back when it ends (the game: ConsoleSession).
    EXPECT_EQ(SearchData.depth_limit, 7);
    EXPECT_EQ(SearchData.use_hash, 2);
    EXPECT_EQ(PBlock.noise, 1.5);

    // The reported best is the tried value with the least error (the first
    // of equals), and the result line is printed twice at the end.
    const std::regex tried(R"(pawn_value_op= (-?\d+), err= (\d\.\d{6}))");
    const std::regex best(R"(best= (-?\d+), err= (\d\.\d{6}), min= (-?\d+), max= (-?\d+))");
    std::smatch m;
    int best_value = 0, count = 0;
    std::string best_err = "9";
    std::vector<std::string> best_lines;
    for (const std::string& l : lines) {
        if (std::regex_match(l, m, tried)) {
            count++;
            if (m[2].str() < best_err) {
                best_err = m[2];
                best_value = std::stoi(m[1]);
            }
        } else if (std::regex_match(l, m, best)) {
            best_lines.push_back(l);
        }
    }
    EXPECT_GE(count, 3) << "at least one step down and one up";
    EXPECT_LE(count, SWEEP_PASSES);
    ASSERT_EQ(best_lines.size(), (size_t)count + 1);
    ASSERT_TRUE(std::regex_match(best_lines.back(), m, best));
    EXPECT_EQ(std::stoi(m[1]), best_value);
    EXPECT_EQ(m[2].str(), best_err);
    EXPECT_EQ(best_lines[best_lines.size() - 2], best_lines.back());

    // The sample is the whole file at 100 %, and the log gets the result.
    fclose(fdtune);
    fdtune = nullptr;
    std::ifstream src(file), junk("junk.epd"), log("tune.log");
    std::stringstream a, b, c;
    a << src.rdbuf();
    b << junk.rdbuf();
    c << log.rdbuf();
    EXPECT_EQ(b.str(), a.str());
    const std::string logged = c.str();
    ASSERT_TRUE(std::regex_match(logged, m, std::regex("pawn_value_op {11}  ([\\d -]{4})  (\\d\\.\\d{5})\n")))
        << logged;
    EXPECT_EQ(std::stoi(m[1]), best_value);
    EXPECT_NEAR(std::stod(m[2]), std::stod(best_err), 6e-6);

    // With that sample left in junk.epd, a file that gives no sample (none
    // there, or no line with a result) ends the sweep after its message.
    std::ofstream("no_results.epd") << "4k3/8/8/8/8/8/8/4K2R w K - bm Rh8; ce 0; c6 0;\n";
    const std::pair<const char*, const char*> refused[] = {
        {"nowhere.epd", "cannot open nowhere.epd: No such file or directory"},
        {"no_results.epd", "no_results.epd holds no position to tune with (a legal position with a game result)"}};
    for (const auto& r : refused) {
        const uint64_t key = CTD->pos.key;
        printed = Captured([&] { ConsoleTune("pawn_value_op", r.first, "100"); });
        EXPECT_EQ(printed, "tune file= " + std::string(r.first) + "\n\ntuning pawn_value_op\n" + r.second + "\n");
        EXPECT_EQ(Words(Personality)[248], 90);
        EXPECT_EQ(CTD->pos.key, key) << "the game is kept";
    }
}

TEST_F(ConsoleTuneTest, AQuitTypedDuringTheSweepEndsItAtOnce) {
    // 600 positions: the first error computation reads the input at its
    // 255th position and finds the "quit".
    std::string text;
    for (int i = 0; i < 300; i++)
        text += "4k3/8/8/8/8/8/8/4K2R w K - bm Rh8; ce 0; c6 0; c9 \"1-0\";\n"
                "4k3/8/8/8/8/8/8/R3K3 b Q - bm Kd7; ce 0; c6 0; c9 \"1/2\";\n";
    std::ofstream("many.epd") << text;
    fdtune = fopen("tune.log", "w");
    ASSERT_NE(fdtune, nullptr);
    ResetInput();
    const char quit[] = "quit\n";
    QueueInputBytes(quit, sizeof quit - 1);
    SearchData.depth_limit = 5;
    PBlock.noise = 0.0;
    std::string printed = Captured([] { ConsoleTune("pawn_value_op", "many.epd", "100"); });
    ResetInput();
    EXPECT_EQ(PBlock.quit, 1);
    EXPECT_EQ(printed,
              "tune file= many.epd\n\ntuning pawn_value_op\n"
              "the sweep is stopped by quit before a value was measured\n"
              "done!\n\n");
    EXPECT_EQ(Words(Personality)[248], 90);
    EXPECT_EQ(SearchData.depth_limit, 5);
    EXPECT_EQ(PBlock.noise, 0.0);
    fclose(fdtune);
    fdtune = nullptr;
    std::ifstream log("tune.log");
    std::stringstream logged;
    logged << log.rdbuf();
    EXPECT_EQ(logged.str(), "") << "a stopped sweep logs no result";
}

TEST_F(ConsoleTuneTest, UnknownOrMissingNamesAndTheSamplePercentage) {
    std::string printed = Captured([] { ConsoleTune("no_such_parameter", "", ""); });
    EXPECT_EQ(printed, "tune file= tune.epd\ndone!\n\n");
    EXPECT_EQ(nParams, 123) << "the registry is built all the same";
    EXPECT_STREQ(PBlock.epd_file, "tune.epd");
    printed = Captured([] { ConsoleTune("", "other.epd", "5"); });
    EXPECT_EQ(printed, "") << "no name, nothing happens";
    EXPECT_STREQ(PBlock.epd_file, "tune.epd");
    EXPECT_EQ(PBlock.tune_pct, 100);

    printed = Captured([] { ConsoleTune("no_such_parameter", "x.epd", "300"); });
    EXPECT_EQ(PBlock.tune_pct, 100);
    EXPECT_TRUE(Contains(printed, "kept within 0..100")) << printed;
    Captured([] { ConsoleTune("no_such_parameter", "x.epd", "-5"); });
    EXPECT_EQ(PBlock.tune_pct, 0);
    printed = Captured([] { ConsoleTune("no_such_parameter", "x.epd", "37"); });
    EXPECT_EQ(PBlock.tune_pct, 37);
    EXPECT_FALSE(Contains(printed, "kept within")) << printed;
}
