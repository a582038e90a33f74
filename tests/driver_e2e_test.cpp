// End to end: real searches of the built engine driven over UCI, as an
// interface sees them: the "info" lines, mate scores, several lines, pondering
// with several threads, and the pool rebuilt between searches.
#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_child.h"
#include "uci_test_util.h"

namespace {

const std::regex kInfoPv(
    "info (multipv \\d+ )?depth \\d+ seldepth \\d+ score (cp -?\\d+|mate -?\\d+) time \\d+ nodes \\d+ "
    "nps \\d+ tbhits \\d+ hashfull \\d+ pv( [a-h][1-8][a-h][1-8][qrbn]?)+");

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> w;
    std::string s;
    while (in >> s) w.push_back(s);
    return w;
}

// The value after a keyword of an "info" line.
std::string Field(const std::string& line, const std::string& key) {
    std::vector<std::string> w = Words(line);
    for (size_t i = 0; i + 1 < w.size(); i++)
        if (w[i] == key) return w[i + 1];
    return "";
}

// The moves of the principal variation of an "info" line.
std::vector<std::string> PvOf(const std::string& line) {
    size_t at = line.find(" pv ");
    return at == std::string::npos ? std::vector<std::string>() : Words(line.substr(at + 4));
}

// Whether the move text is legal after the moves from the position.
bool IsLegalAfter(const std::string& position, const std::string& move) {
    InitUciTestEnvironment();
    UciCommand(position.c_str());
    Move legal[MAX_LEGAL_MOVES];
    int n = GenerateLegalMoves(&CTD->pos, legal);
    for (int i = 0; i < n; i++) {
        char buf[8];
        if (move == UciMoveText(legal[i], buf)) return true;
    }
    return false;
}

}  // namespace

TEST(DriverEndToEnd, InfoLinesOfAFixedDepthSearch) {
    EngineChild e = StartEngine({}, MakeTempDir());
    const std::string position = "position startpos moves e2e4 e7e5 g1f3";
    Send(e, "setoption name Threads value 2\n" + position + "\ngo depth 9\n");
    std::vector<std::string> lines;
    std::string best = WaitFor(e, "bestmove", 60000, &lines);
    ASSERT_FALSE(best.empty());
    std::string last;
    int depth = 0;
    for (const std::string& l : lines) {
        if (l.compare(0, 11, "info depth ") != 0) continue;
        EXPECT_TRUE(std::regex_match(l, kInfoPv)) << l;
        int d = std::stoi(Field(l, "depth"));
        EXPECT_GE(d, depth) << l;
        depth = d;
        EXPECT_EQ(Field(l, "tbhits"), "0");
        last = l;
    }
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(depth, 9);
    // The final line carries the line that is played and pondered.
    std::vector<std::string> pv = PvOf(last), bw = Words(best);
    ASSERT_GE(pv.size(), 2u) << last;
    ASSERT_EQ(bw.size(), 4u) << best;
    EXPECT_EQ(bw[1], pv[0]);
    EXPECT_EQ(bw[2], "ponder");
    EXPECT_EQ(bw[3], pv[1]);
    EXPECT_TRUE(IsLegalAfter(position, bw[1])) << best;
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(DriverEndToEnd, MateScoresAndSeveralLines) {
    EngineChild e = StartEngine({}, MakeTempDir());
    std::vector<std::string> lines;
    Send(e, "position fen r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq -\ngo depth 6\n");
    EXPECT_EQ(WaitFor(e, "bestmove", 20000, &lines), "bestmove h5f7");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(Field(lines.back(), "score"), "mate");
    EXPECT_EQ(Words(lines.back().substr(lines.back().find("score")))[2], "1") << lines.back();
    // The side to move is mated after its only move.
    lines.clear();
    Send(e, "position fen k7/2K5/8/8/8/8/8/1R6 b - -\ngo depth 8\n");
    EXPECT_EQ(WaitFor(e, "bestmove", 20000, &lines), "bestmove a8a7 ponder b1a1");
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find(" score mate -1 "), std::string::npos) << lines.back();

    lines.clear();
    Send(e, "setoption name MultiPV value 3\nposition startpos\ngo depth 5\n");
    std::string best = WaitFor(e, "bestmove", 20000, &lines);
    std::vector<std::string> firsts;
    for (const std::string& l : lines) {
        if (l.compare(0, 13, "info multipv ") != 0) continue;
        EXPECT_TRUE(std::regex_match(l, kInfoPv)) << l;
        if (Field(l, "depth") == "5" && Field(l, "multipv") != "1") firsts.push_back(PvOf(l)[0]);
    }
    EXPECT_EQ(firsts.size(), 2u);  // lines 2 and 3 of the last iteration
    for (const std::string& m : firsts) EXPECT_NE("bestmove " + m, best.substr(0, 13));
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(DriverEndToEnd, InfiniteSearchWaitsForStopEvenWhenTheRootIsSettled) {
    EngineChild e = StartEngine({}, MakeTempDir());
    // A single legal reply (and a mate found at once) ends no infinite search.
    Send(e, "setoption name Threads value 3\nposition fen k7/2K5/8/8/8/8/8/1R6 b - -\ngo infinite\n");
    // The root is settled once the mate is out (a fixed pause is not enough:
    // a loaded machine may not have searched a single node by then).
    std::vector<std::string> before;
    std::string mate;
    do {
        mate = WaitFor(e, "info depth", 20000, &before);
        before.push_back(mate);
    } while (!mate.empty() && mate.find(" score mate -1 ") == std::string::npos);
    ASSERT_FALSE(mate.empty()) << "no mate line";
    usleep(200000);
    Send(e, "isready\n");
    EXPECT_EQ(WaitFor(e, "readyok", 20000, &before), "readyok");
    for (const std::string& l : before) EXPECT_NE(l.compare(0, 8, "bestmove"), 0) << l;
    Send(e, "stop\n");
    EXPECT_EQ(WaitFor(e, "bestmove"), "bestmove a8a7 ponder b1a1");
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(DriverEndToEnd, PonderingWithSeveralThreads) {
    EngineChild e = StartEngine({}, MakeTempDir());
    Send(e, "setoption name Threads value 4\nsetoption name Ponder value true\nucinewgame\nisready\n");
    ASSERT_EQ(WaitFor(e, "readyok"), "readyok");
    std::string moves = "d2d4";
    for (int ply = 0; ply < 8; ply++) {
        Send(e, "position startpos moves " + moves + "\ngo wtime 3000 btime 3000 winc 50 binc 50\n");
        std::vector<std::string> bw = Words(WaitFor(e, "bestmove"));
        ASSERT_GE(bw.size(), 2u);
        ASSERT_TRUE(IsLegalAfter("position startpos moves " + moves, bw[1])) << bw[1];
        moves += " " + bw[1];
        if (bw.size() < 4) continue;
        // Ponder on the expected reply; a hit goes on with the clock, a miss stops.
        Send(e, "position startpos moves " + moves + " " + bw[3] + "\ngo ponder wtime 3000 btime 3000\n");
        usleep(50000);
        if (ply % 2) {
            Send(e, "ponderhit\n");
            std::vector<std::string> pw = Words(WaitFor(e, "bestmove"));
            ASSERT_GE(pw.size(), 2u);
            EXPECT_TRUE(IsLegalAfter("position startpos moves " + moves + " " + bw[3], pw[1])) << pw[1];
        } else {
            Send(e, "stop\n");
            EXPECT_FALSE(WaitFor(e, "bestmove").empty());
        }
    }
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(DriverEndToEnd, PoolRebuiltBetweenSearches) {
    EngineChild e = StartEngine({}, MakeTempDir());
    for (int threads : {8, 1, 0, 3, 128, 2}) {
        Send(e, "setoption name Threads value " + std::to_string(threads) +
                    "\nposition startpos moves g1f3\ngo depth 6\n");
        std::string best = WaitFor(e, "bestmove", 60000);
        // Threads 0 is raised to 1: every search answers with a legal move.
        std::vector<std::string> bw = Words(best);
        ASSERT_GE(bw.size(), 2u) << threads << " threads";
        EXPECT_TRUE(IsLegalAfter("position startpos moves g1f3", bw[1])) << threads << " threads: " << best;
    }
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

namespace {

// Runs one "go" and returns the deepest depth and the node count of its
// "info" lines, checking that its best move is legal after `position`.
struct GoResult {
    int depth = 0;
    long long nodes = 0;
    std::string score;  // "cp 0", "mate 3", ... of the last line
    std::string best;
};

GoResult RunGo(EngineChild& e, const std::string& position, const std::string& go) {
    Send(e, position + "\n" + go + "\n");
    std::vector<std::string> lines;
    GoResult r;
    std::string best = WaitFor(e, "bestmove", 60000, &lines);
    std::vector<std::string> bw = Words(best);
    r.best = bw.size() >= 2 ? bw[1] : "";
    EXPECT_TRUE(IsLegalAfter(position, r.best)) << go << ": " << best;
    for (const std::string& l : lines) {
        if (l.compare(0, 11, "info depth ") != 0) continue;
        r.depth = std::max(r.depth, std::stoi(Field(l, "depth")));
        r.nodes = std::stoll(Field(l, "nodes"));
        r.score = Field(l, "score") + " " + Field(l, Field(l, "score"));
    }
    return r;
}

}  // namespace

TEST(DriverEndToEnd, TheLimitsOfOneGoDoNotHoldForTheNext) {
    EngineChild e = StartEngine({}, MakeTempDir());
    const std::string pos = "position startpos moves e2e4 c7c5";
    // Depth 0 answers with a move of its own: the smallest search is one iteration.
    GoResult r = RunGo(e, pos, "go depth 0");
    EXPECT_EQ(r.depth, 1);
    r = RunGo(e, pos, "go wtime 2000 btime 2000");
    EXPECT_GE(r.depth, 3) << "the depth of the \"go depth 0\" held for a clock search";
    RunGo(e, pos, "go depth 2");
    r = RunGo(e, pos, "go wtime 2000 btime 2000");
    EXPECT_GE(r.depth, 3) << "the depth of the \"go depth 2\" held for a clock search";
    r = RunGo(e, pos, "go nodes 1000");
    EXPECT_LE(r.nodes, 1040 + 64);
    r = RunGo(e, pos, "go movetime 300");
    EXPECT_GT(r.nodes, 1040 + 64) << "the node limit of the \"go nodes 1000\" held for a timed search";
    // Also across a new game.
    RunGo(e, pos, "go depth 2");
    Send(e, "ucinewgame\n");
    r = RunGo(e, pos, "go wtime 2000 btime 2000");
    EXPECT_GE(r.depth, 3);
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(DriverEndToEnd, TheFiftyMoveCounterFromTheFenDrawsQuietMoves) {
    EngineChild e = StartEngine({}, MakeTempDir());
    // King and rook against king win, but with 99 half-moves behind them
    // every move is quiet and the next one completes the fifty moves.
    GoResult r = RunGo(e, "position fen 8/8/8/4k3/8/8/8/4K2R w - - 99 60", "go depth 10");
    EXPECT_EQ(r.score, "cp 0");
    r = RunGo(e, "position fen 8/8/8/4k3/8/8/8/4K2R w - - 0 60", "go depth 10");
    EXPECT_NE(r.score, "cp 0") << "without the counter the rook wins";
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(DriverEndToEnd, ACounterBeyondTheFiftyMovesIsSearchedNotAnsweredWithNoMove) {
    EngineChild e = StartEngine({}, MakeTempDir());
    // 101 half-moves without capture or pawn move: the draw may be claimed,
    // but until the interface does, the engine must answer with a move.
    std::string moves;
    const char* cycle[4] = {" a1a2", " e8d8", " a2a1", " d8e8"};
    for (int i = 0; i < 101; i++) moves += cycle[i % 4];
    GoResult r = RunGo(e, "position fen 4k3/8/8/8/8/8/8/R3K3 w - - 0 1 moves" + moves, "go depth 4");
    EXPECT_NE(r.best, "0000");
    EXPECT_EQ(r.score, "cp 0") << "the draw score";
    r = RunGo(e, "position fen 4k3/8/8/8/8/8/8/R3K3 b - - 150 90", "go wtime 1000 btime 1000");
    EXPECT_NE(r.best, "0000");
    EXPECT_EQ(r.score, "cp 0");
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}
