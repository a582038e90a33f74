// EPD test suites: splitting EPD lines, and "-anepd" end to end: the answers
// judged, the totals, "unsolved.epd", the two search paths and the input
// polled between positions.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_child.h"
#include "tools/epd.h"
#include "tools_test_util.h"

namespace {

bool HasLineEndingWith(const std::vector<std::string>& lines, const std::string& end) {
    for (const std::string& l : lines)
        if (l.size() >= end.size() && l.compare(l.size() - end.size(), end.size(), end) == 0) return true;
    return false;
}

// Runs "-anepd" with the extra switches on the suite text in a fresh folder;
// input, when given, is waiting on the engine's standard input from the start.
struct SuiteRun {
    std::string dir;
    std::vector<std::string> out;
    int status = -1;
};
SuiteRun RunSuite(const std::string& suite, const std::vector<std::string>& switches, const std::string& input = "") {
    SuiteRun r;
    r.dir = MakeTempDir();
    std::ofstream(r.dir + "/suite.epd", std::ios::binary) << suite;
    std::vector<std::string> args = switches;
    args.push_back("-anepd");
    args.push_back("suite.epd");
    EngineChild e = StartEngine(args, r.dir);
    if (!input.empty()) Send(e, input);
    r.status = WaitExit(e, 60000);
    r.out = e.lines;
    return r;
}

// Mate in one for white (Ra8#) in a position where the rook has other moves
// and the king may step aside.
const std::string kBackRank = "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - -";

// Eight positions, five answered correctly by a search that finds the mate:
// a mate named once, a mate named twice ("Ra8" and "a1a8"), a wrong best
// move, an avoided move, an avoid move that is no legal move (unsolved), no
// opcode (unsolved), points per move, and a best move after a long name.
std::string HandSuite() {
    std::string s;
    s += "# comment line\n";
    s += "; another comment\n";
    s += " 6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - bm Ra8#; a line starting with a blank\n";
    s += "short\n";
    s += kBackRank + " bm Ra8#; id \"once\";\n";
    s += kBackRank + " bm Ra8 a1a8; id \"twice\";\r\n";
    s += kBackRank + " bm Kf1; id \"wrong\";\n";
    s += kBackRank + " am Kf1; id \"avoided\";\n";
    s += kBackRank + " am Kh3; id \"bad avoid move\";\n";
    s += kBackRank + " id \"nothing to judge\";\n";
    s += "r1bqkbnr/pppp1ppp/2n5/4p3/2B1P3/5Q2/PPPP1PPP/RNB1K1NR w KQkq - bm Qxf7#; "
         "c0 \"Qxf7=10, Qf3f7=10, Bxf7+=3\";\n";
    s += "8/8/8/8/8/8/8/8 w - - bm e4; id \"no kings\";\n";
    s += kBackRank + " id \"" + std::string(1500, 'n') + "\"; bm Ra8;\n";
    return s;
}

const std::vector<std::string> kHandTotals = {"5 / 8 correct best moves", "avg depth= 1.0", "score= 10 / 10"};

void ExpectHandSuiteResults(const SuiteRun& r) {
    EXPECT_EQ(r.status, 0);
    for (const std::string& t : kHandTotals) EXPECT_TRUE(HasLine(r.out, t)) << "no line \"" << t << "\"";
    EXPECT_TRUE(HasLine(r.out, "suite.epd line 12 skipped: not a legal position"));
    EXPECT_EQ(FileLines(r.dir + "/unsolved.epd"), (std::vector<std::string>{kBackRank, kBackRank}));
}

TEST(ParseEpd, PositionFieldsAndOpcodes) {
    EpdRecord rec;
    ASSERT_EQ(Parse_EPD("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR  w\tKQkq - bm Nf3 e4; am d4;id \"test 1\"; "
                        "ce 35; c0 \"e4=10, d4=7\"; c6 \"x\";\r",
                        &rec),
              1);
    EXPECT_EQ(rec.fen, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    EXPECT_EQ(rec.bm, "Nf3 e4");
    EXPECT_EQ(rec.am, "d4");
    EXPECT_EQ(rec.id, "\"test 1\"");
    EXPECT_EQ(rec.ce, "35");
    EXPECT_EQ(rec.c0, "\"e4=10, d4=7\"");
    EXPECT_EQ(rec.c6, "\"x\"");
}

TEST(ParseEpd, OnlyWholeWordsAreOpcodes) {
    EpdRecord rec;
    ASSERT_EQ(Parse_EPD("8/8/8/8/8/8/8/K6k w - - bmx e4; xbm d4; id \"bm\"; am Ka2", &rec), 1);
    EXPECT_EQ(rec.bm, "");
    EXPECT_EQ(rec.id, "\"bm\"");
    EXPECT_EQ(rec.am, "Ka2") << "the last value needs no ';'";
    // A counter pair as in FEN text is passed over.
    ASSERT_EQ(Parse_EPD("8/8/8/8/8/8/8/K6k w - - 0 1 bm Kb1;", &rec), 1);
    EXPECT_EQ(rec.bm, "Kb1");
}

TEST(ParseEpd, FewerThanFourFieldsAreRefused) {
    EpdRecord rec;
    EXPECT_EQ(Parse_EPD("8/8/8/8/8/8/8/K6k w -", &rec), 0);
    EXPECT_EQ(Parse_EPD("", &rec), 0);
    EXPECT_EQ(rec.fen, "") << "outputs are cleared first";
}

TEST(ParseEpd, LongValuesAreKeptWhole) {
    EpdRecord rec;
    const std::string id(3000, 'x');
    const std::string moves = "a1a2 a1b1 a1b2 Ka2 Kb1 Kb2 a1a2 a1b1 a1b2 Ka2 Kb1 Kb2 a1a2 a1b1 a1b2 Ka2 Kb1 Kb2";
    ASSERT_EQ(Parse_EPD(("8/8/8/8/8/8/8/K6k w - - id \"" + id + "\"; bm " + moves + ";").c_str(), &rec), 1);
    EXPECT_EQ(rec.id, "\"" + id + "\"");
    EXPECT_EQ(rec.bm, moves);
}

TEST(AnalyzeEpd, ShallowSearchesOnTheMainThreadJudgeEveryAnswer) {
    SuiteRun r = RunSuite(HandSuite(), {"-d", "4"});
    ExpectHandSuiteResults(r);
    EXPECT_TRUE(HasLine(r.out, "Analyzing suite.epd..."));
    EXPECT_TRUE(HasLine(r.out, "pos= 1"));
    EXPECT_TRUE(HasLine(r.out, kBackRank + " bm Ra8#; id \"once\";"));
    EXPECT_FALSE(HasLine(r.out, "pos= 9")) << "the illegal position is not counted";
    int moves = 0;
    for (const std::string& l : r.out) moves += l.compare(0, 10, "move= a1a8") == 0;
    EXPECT_EQ(moves, 7) << "seven of the eight positions are solved by Ra8";
    // Searches that end below depth 6 have the branching factor 2 each, so
    // the average over the eight positions is 2; the average node count is
    // the total divided by 8, rounded down.
    EXPECT_TRUE(HasLine(r.out, "avg bf= 2.00"));
    double total = -1.0;
    for (const std::string& l : r.out) sscanf(l.c_str(), "total nodes= %lf", &total);
    ASSERT_GT(total, 8.0);
    char avg[64];
    snprintf(avg, sizeof avg, "avg nodes= %.1f", (double)((long long)total / 8));
    EXPECT_TRUE(HasLine(r.out, avg)) << avg;
}

TEST(AnalyzeEpd, DeepSearchesWithThePoolJudgeTheSame) {
    const SuiteRun r = RunSuite(HandSuite(), {"-d", "7"});
    ExpectHandSuiteResults(r);
    // The time of a pool search is taken when it has ended: never 0, even
    // for the quick mates of this suite.
    int shown = 0;
    for (const std::string& l : r.out) {
        double t = -1.0, nodes = -1.0, knps = -1.0;
        int score = 0;
        char move[16];
        if (sscanf(l.c_str(), "move= %15[^,], time= %lf, score= %d, nodes= %lf, %lfK nps", move, &t, &score, &nodes,
                   &knps) != 5)
            continue;
        shown++;
        EXPECT_GT(t, 0.0) << l;
        EXPECT_NEAR(knps, 0.001 * nodes / (t + 0.001), 0.001 * nodes * 0.0005 / (t * t) + 1.0) << l;
    }
    EXPECT_EQ(shown, 8);
    double total = -1.0;
    for (const std::string& l : r.out) sscanf(l.c_str(), "total time= %lf seconds", &total);
    EXPECT_GT(total, 0.0);
    ExpectHandSuiteResults(RunSuite(HandSuite(), {"-threads", "3", "-d", "8", "-quiet"}));
}

// Suites from other programs write "Rf5", not "R6f5", when the other rook
// that could go there is pinned: both name the same move, so the answers
// are judged alike and no line goes to "unsolved.epd".
TEST(AnalyzeEpd, StandardSanLeavesOutATwinThatIsPinned) {
    // The rook on f4 is pinned by the queen on c7 (Rf5 is f6f5); the rook on
    // e5 by the bishop on d4 (Rc5 is a5c5).
    const std::string white = "8/2q3rk/p4Rp1/1p5p/5R1P/2p5/2Q3PK/4r3 w - -";
    const std::string black = "7k/7B/6PP/r3r3/Pp1BP1P1/8/8/1R4K1 b - -";
    const std::string suite = white + " am Rf5;\n" + white + " am R6f5;\n" + black + " am Rc5;\n" + black +
                              " am Rac5;\n" + white + " bm Rf5; c0 \"Rf5=10\";\n";
    SuiteRun r = RunSuite(suite, {"-d", "4"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(FileLines(r.dir + "/unsolved.epd").empty()) << "every avoid move names a legal move";
    // The moves played, in the order of the positions.
    std::vector<std::string> played;
    for (const std::string& l : r.out)
        if (l.compare(0, 6, "move= ") == 0) played.push_back(l.substr(6, l.find(',') - 6));
    ASSERT_EQ(played.size(), 5u);
    EXPECT_EQ(played[0], played[1]);
    EXPECT_EQ(played[2], played[3]);
    const int correct = (played[0] != "f6f5") * 2 + (played[2] != "a5c5") * 2 + (played[4] == "f6f5");
    EXPECT_TRUE(HasLine(r.out, std::to_string(correct) + " / 5 correct best moves"));
    EXPECT_TRUE(HasLine(r.out, std::string("score= ") + (played[4] == "f6f5" ? "10" : "0") + " / 10"));
}

TEST(AnalyzeEpd, ASuiteWithoutPositionsPrintsZeroTotals) {
    SuiteRun r = RunSuite("# nothing\n;\n123456789\n", {"-d", "3"});
    EXPECT_EQ(r.status, 0);
    for (const char* t : {"0 / 0 correct best moves", "total nodes= 0", "avg depth= 0.0", "avg nodes= 0.0",
                          "avg bf= 0.00", "score= 0 / 0"})
        EXPECT_TRUE(HasLine(r.out, t)) << t;
    EXPECT_TRUE(FileLines(r.dir + "/unsolved.epd").empty());
}

TEST(AnalyzeEpd, MissingSuiteAnUnwritableOutputAndASuiteNamedLikeItsOutput) {
    SuiteRun r;
    r.dir = MakeTempDir();
    EngineChild e = StartEngine({"-anepd", "nowhere.epd"}, r.dir);
    EXPECT_EQ(WaitExit(e), 1) << "the suite was not run";
    EXPECT_TRUE(HasLine(e.lines, "cannot open the test suite nowhere.epd: No such file or directory"));

    const std::string suite = kBackRank + " bm Ra8;\n";
    std::ofstream(r.dir + "/unsolved.epd") << suite;
    EngineChild f = StartEngine({"-d", "3", "-anepd", "unsolved.epd"}, r.dir);
    EXPECT_EQ(WaitExit(f), 1);
    EXPECT_TRUE(HasLine(f.lines, "unsolved.epd is the file the analysis writes (unsolved.epd): choose another name "
                                 "for the suite"));
    EXPECT_EQ(FileLines(r.dir + "/unsolved.epd"), (std::vector<std::string>{kBackRank + " bm Ra8;"}));

    // A full disk (/dev/full in the place of unsolved.epd): the positions
    // without an answer are lost, and the run says so.
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full to stand for a full disk";
    const std::string full = MakeTempDir();
    ASSERT_EQ(symlink("/dev/full", (full + "/unsolved.epd").c_str()), 0);
    std::ofstream(full + "/suite.epd") << HandSuite();
    EngineChild g = StartEngine({"-d", "3", "-anepd", "suite.epd"}, full);
    EXPECT_EQ(WaitExit(g, 60000), 1);
    EXPECT_TRUE(HasLine(g.lines, "cannot write unsolved.epd in full"));
    EXPECT_TRUE(HasLine(g.lines, kHandTotals[0])) << "the totals are still shown";
}

// A "quit" waiting on the input from the start: the pool's search polls the
// input at once (and stops, so that its one position may go unsolved), the
// main thread only at every 256th position. Which path a search takes
// therefore shows in how many positions run before the quit.
TEST(AnalyzeEpd, InputIsPolledDuringPoolSearchesAndEvery256MainThreadSearches) {
    std::string suite;
    for (int i = 0; i < 300; i++) suite += kBackRank + " bm Ra8;\n";
    struct Case {
        std::vector<std::string> limits;
        const char* total;
    };
    const Case cases[] = {
        {{"-d", "5"}, "255 / 255 correct best moves"},  // depth 5: main thread
        {{"-d", "6"}, " / 1 correct best moves"},       // depth 6: the pool
        {{"-d", "10", "-n", "99999"}, "255 / 255 correct best moves"},
        {{"-d", "10", "-n", "100000"}, " / 1 correct best moves"},
        {{"-d", "10", "-n", "0"}, " / 1 correct best moves"},  // no node limit
    };
    for (const Case& c : cases) {
        std::vector<std::string> sw = c.limits;
        sw.push_back("-quiet");
        SuiteRun r = RunSuite(suite, sw, "quit\n");
        std::string what;
        for (const std::string& w : c.limits) what += w + " ";
        EXPECT_EQ(r.status, 0) << what;
        EXPECT_TRUE(HasLineEndingWith(r.out, c.total)) << what << ": no line ending \"" << c.total << "\"";
    }
    // Without input every position runs.
    SuiteRun all = RunSuite(suite, {"-d", "5", "-quiet"});
    EXPECT_TRUE(HasLine(all.out, "300 / 300 correct best moves"));

    // Forty hand suites (over 64 KB, 320 positions) piped in as /dev/stdin,
    // the engine's input: no line of them is taken as a command.
    std::string big;
    for (int i = 0; i < 40; i++) big += HandSuite();
    for (const char* depth : {"1", "6"}) {
        const std::string dir = MakeTempDir();
        EngineChild e = StartEngine({"-d", depth, "-quiet", "-anepd", "/dev/stdin"}, dir);
        Send(e, big);
        CloseInput(e);
        EXPECT_EQ(WaitExit(e, 60000), 0) << depth;
        EXPECT_TRUE(HasLine(e.lines, "200 / 320 correct best moves") && HasLine(e.lines, "score= 400 / 400")) << depth;
        EXPECT_EQ(FileLines(dir + "/unsolved.epd"), std::vector<std::string>(80, kBackRank)) << depth;
    }
}

}  // namespace
