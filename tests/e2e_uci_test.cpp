// End to end: the built engine as a child process, driven over its pipes by
// scripted UCI conversations, and started with command-line switches.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_child.h"
#include "uci_test_util.h"

namespace {

// True when text is "bestmove <m>" or "bestmove <m> ponder <r>" with m a legal
// move of the position reached by the moves from the start position.
::testing::AssertionResult LegalBestMove(const std::string& line, const std::string& moves = "") {
    if (line.compare(0, 9, "bestmove ") != 0) return ::testing::AssertionFailure() << "not a bestmove line: " << line;
    std::istringstream words(line.substr(9));
    std::string move, ponder_word, reply;
    words >> move >> ponder_word >> reply;
    if (!ponder_word.empty() && (ponder_word != "ponder" || reply.empty()))
        return ::testing::AssertionFailure() << "malformed: " << line;
    InitUciTestEnvironment();
    UciCommand(("position startpos moves " + moves).c_str());
    Move legal[MAX_LEGAL_MOVES];
    int n = GenerateLegalMoves(&CTD->pos, legal);
    for (int i = 0; i < n; i++) {
        char buf[8];
        if (move == UciMoveText(legal[i], buf)) return ::testing::AssertionSuccess();
    }
    if (n == 0 && move == "0000") return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "illegal best move in " << line << " after [" << moves << "]";
}

bool AnyStartsWith(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& l : lines)
        if (l.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Processor time the main thread of a process has used, in clock ticks (Linux).
long MainThreadTicks(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/stat");
    std::string s;
    std::getline(f, s);
    size_t name_end = s.rfind(')');
    if (name_end == std::string::npos) return -1;
    std::istringstream in(s.substr(name_end + 1));
    std::vector<std::string> fields;
    for (std::string w; in >> w;) fields.push_back(w);
    // Fields from the state on; user and system time are fields 14 and 15.
    return fields.size() > 12 ? std::stol(fields[11]) + std::stol(fields[12]) : -1;
}

}  // namespace

TEST(EndToEnd, ScriptedConversationHasTheExactProtocolLines) {
    EngineChild e = StartEngine({}, MakeTempDir());
    Send(e, "uci\n");
    EXPECT_EQ(WaitFor(e, "id "), "id name Tesk 4.0");
    std::string line;
    ASSERT_TRUE(ReadLine(e, line, 20000));
    EXPECT_EQ(line, "id author Quillon");
    std::vector<std::string> options;
    EXPECT_EQ(WaitFor(e, "uciok", 20000, &options), "uciok");
    EXPECT_EQ(options.size(), 39u);
    for (const std::string& o : options) EXPECT_EQ(o.compare(0, 12, "option name "), 0) << o;

    Send(e, "isready\n");
    EXPECT_EQ(WaitFor(e, "readyok"), "readyok");
    // Commands written together are all executed, in order.
    Send(e, "ucinewgame\nisready\n");
    EXPECT_EQ(WaitFor(e, "readyok"), "readyok");
    Send(e, "position startpos moves e2e4\ngo movetime 100\n");
    EXPECT_TRUE(LegalBestMove(WaitFor(e, "bestmove"), "e2e4"));
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(EndToEnd, InfiniteAndPonderSearchesWaitForStopOrPonderhit) {
    EngineChild e = StartEngine({}, MakeTempDir());
    Send(e, "position startpos\ngo infinite\n");
    usleep(300000);
    Send(e, "isready\n");
    std::vector<std::string> before;
    EXPECT_EQ(WaitFor(e, "readyok", 20000, &before), "readyok") << "isready is answered during a search";
    EXPECT_FALSE(AnyStartsWith(before, "bestmove")) << "an infinite search reported before stop";
    Send(e, "stop\n");
    EXPECT_TRUE(LegalBestMove(WaitFor(e, "bestmove")));

    Send(e, "position startpos moves e2e4 e7e5\ngo ponder wtime 2000 btime 2000\n");
    usleep(300000);
    Send(e, "isready\n");
    before.clear();
    EXPECT_EQ(WaitFor(e, "readyok", 20000, &before), "readyok");
    EXPECT_FALSE(AnyStartsWith(before, "bestmove")) << "a ponder search reported before ponderhit";
    Send(e, "ponderhit\n");
    EXPECT_TRUE(LegalBestMove(WaitFor(e, "bestmove"), "e2e4 e7e5"));
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(EndToEnd, CommandsWaitingForTheSearchLeaveTheMainThreadIdle) {
    EngineChild e = StartEngine({}, MakeTempDir());
    // The second "position" waits in the queue until the search ends.
    Send(e, "position startpos\ngo infinite\nposition startpos moves e2e4\nisready\n");
    ASSERT_EQ(WaitFor(e, "readyok"), "readyok");
    const long before = MainThreadTicks(e.pid);
    ASSERT_GE(before, 0);
    usleep(1000000);
    // Polling once a millisecond costs a few percent of one processor; the
    // bound is far above that and far below a thread that never pauses.
    EXPECT_LT(MainThreadTicks(e.pid) - before, sysconf(_SC_CLK_TCK) / 2);
    Send(e, "stop\nquit\n");
    EXPECT_TRUE(LegalBestMove(WaitFor(e, "bestmove")));
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(EndToEnd, EndOfInputFinishesWhatWasAskedThenExitsWithZero) {
    EngineChild e = StartEngine({}, MakeTempDir());
    Send(e, "position startpos moves d2d4\ngo movetime 200\n");
    CloseInput(e);
    EXPECT_TRUE(LegalBestMove(WaitFor(e, "bestmove"), "d2d4"));
    EXPECT_EQ(WaitExit(e), 0);

    // A search that only "stop" could end is stopped once no more input can come.
    EngineChild f = StartEngine({}, MakeTempDir());
    Send(f, "go infinite\nposition startpos moves g1f3\ngo depth 2");
    CloseInput(f);
    EXPECT_TRUE(LegalBestMove(WaitFor(f, "bestmove")));
    EXPECT_TRUE(LegalBestMove(WaitFor(f, "bestmove"), "g1f3")) << "the last line had no line end";
    EXPECT_EQ(WaitExit(f), 0);
}

TEST(EndToEnd, BadInputIsReportedAndTheGameGoesOn) {
    EngineChild e = StartEngine({}, MakeTempDir());
    Send(e, "position startpos moves e2e4 e7e5\n");
    Send(e, "go " + std::string(20000, 'x') + "\n");
    Send(e, "position fen rnbqkbnr/pppppppp/8/8 w KQkq -\n");
    Send(e, "position startpos moves e2e4 e7e5 g1g5 b8c6\n");
    Send(e, "go movetime 50\n");
    std::vector<std::string> info;
    std::string best = WaitFor(e, "bestmove", 20000, &info);
    EXPECT_TRUE(LegalBestMove(best, "e2e4 e7e5")) << "the illegal move ends the list";
    EXPECT_TRUE(AnyStartsWith(info, "info string input line longer than"));
    EXPECT_TRUE(AnyStartsWith(info, "info string Illegal FEN"));
    EXPECT_TRUE(AnyStartsWith(info, "info string position: illegal move g1g5"));
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(EndToEnd, WithoutSearchThreadsTheAnswerIsTheNullMove) {
    EngineChild e = StartEngine({}, MakeTempDir());
    Send(e, "setoption name Threads value 0\nposition startpos\ngo depth 3\n");
    EXPECT_EQ(WaitFor(e, "bestmove"), "bestmove 0000");
    Send(e, "setoption name Threads value 2\ngo depth 1\n");
    EXPECT_TRUE(LegalBestMove(WaitFor(e, "bestmove")));
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(EndToEnd, AGamePlayedMoveByMoveStaysLegal) {
    EngineChild e = StartEngine({}, MakeTempDir());
    std::string moves;
    Send(e, "uci\nucinewgame\nisready\n");
    ASSERT_EQ(WaitFor(e, "readyok"), "readyok");
    for (int ply = 0; ply < 60; ply++) {
        Send(e, "position startpos moves " + moves + "\ngo wtime 2000 btime 2000 winc 10 binc 10\n");
        std::string best = WaitFor(e, "bestmove");
        ASSERT_TRUE(LegalBestMove(best, moves)) << "ply " << ply;
        std::string move = best.substr(9, best.find(' ', 9) - 9);
        if (move == "0000") break;
        moves += (moves.empty() ? "" : " ") + move;
    }
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(EndToEnd, ConfigurationFileAndLogFromTheCommandLine) {
    std::string dir = MakeTempDir();
    std::ofstream(dir + "/my.cfg") << "# settings\r\nHash = 32\r\nMultiPV=2   # two lines\r\n\r\nPonder = false\r\n";
    EngineChild e = StartEngine({"-log", "-cfg", "my.cfg"}, dir);
    Send(e, "uci\nisready\n");
    std::vector<std::string> lines;
    EXPECT_EQ(WaitFor(e, "readyok", 20000, &lines), "readyok");
    EXPECT_TRUE(AnyStartsWith(lines, "info string loading parameters from my.cfg"));
    EXPECT_TRUE(AnyStartsWith(lines, "option name Hash type spin default 32 min 0 max 16384"));
    EXPECT_TRUE(AnyStartsWith(lines, "option name MultiPV type spin default 2 min 1 max 255"));
    EXPECT_TRUE(AnyStartsWith(lines, "option name Ponder type check default false"));
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
    std::string log = ReadFile(dir + "/tesk.log");
    EXPECT_NE(log.find("CMD: uci\n"), std::string::npos) << log;
    EXPECT_NE(log.find("readyok\n"), std::string::npos) << log;
    EXPECT_NE(log.find("CMD: quit\n"), std::string::npos) << log;
}

TEST(EndToEnd, BatchSwitchesAndTheirExitStatus) {
    // A switch without its argument.
    EngineChild a = StartEngine({"-threads", "4", "-hash"}, MakeTempDir());
    EXPECT_EQ(WaitExit(a), 1);
    EXPECT_TRUE(AnyStartsWith(a.lines, "info string switch -hash needs an argument"));

    // "-mkconfig" and "-match" start up and end without reading any input
    // (their standard input stays open).
    EngineChild b = StartEngine({"-mkconfig"}, MakeTempDir());
    EXPECT_EQ(WaitExit(b), 0);
    EngineChild c = StartEngine({"-match", "games.pgn"}, MakeTempDir());
    EXPECT_EQ(WaitExit(c), 0);

    // "-nps" prints the Elo of the speed first.
    EngineChild d = StartEngine({"-nps", "1000000", "-mkconfig"}, MakeTempDir());
    EXPECT_EQ(WaitExit(d), 0);
    ASSERT_FALSE(d.lines.empty());
    EXPECT_EQ(d.lines[0], "Elo= 2923");
}

TEST(EndToEnd, AClosedOutputDoesNotEndTheEngineBySignal) {
    // The interface stops reading (it closed its end of the output pipe):
    // the lines written after that are lost, but the engine still ends
    // normally at "quit".
    EngineChild e = StartEngine({}, MakeTempDir());
    Send(e, "isready\n");
    ASSERT_EQ(WaitFor(e, "readyok"), "readyok");
    close(e.from_engine);
    e.from_engine = -1;
    Send(e, "uci\nposition startpos\ngo depth 3\nisready\n");
    usleep(300000);
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}
