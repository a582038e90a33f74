// End to end: the built engine as a child process, driven over its pipes by
// scripted UCI conversations, and started with command-line switches.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "e2e_child.h"
#include "platform/platform.h"
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
    // The Elo in force after the speed calibration is full strength, the top
    // of the range; an interface that echoes the listed default keeps it.
    int elo_default = -1, elo_max = -1;
    for (const std::string& o : options)
        sscanf(o.c_str(), "option name UCI_Elo type spin default %d min 0 max %d", &elo_default, &elo_max);
    EXPECT_GE(elo_max, 1500);
    EXPECT_EQ(elo_default, elo_max) << "the listed UCI_Elo default is not the Elo in force";

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

TEST(EndToEnd, ThreadsZeroOrGarbageStillAnswersWithALegalMove) {
    EngineChild e = StartEngine({}, MakeTempDir());
    Send(e, "setoption name Threads value 0\nposition startpos\ngo depth 3\n");
    EXPECT_TRUE(LegalBestMove(WaitFor(e, "bestmove")));
    Send(e, "setoption name Threads value abc\nposition startpos moves e2e4\ngo depth 2\n");
    EXPECT_TRUE(LegalBestMove(WaitFor(e, "bestmove"), "e2e4"));
    Send(e, "setoption name Threads value 2\ngo depth 1\n");
    EXPECT_TRUE(LegalBestMove(WaitFor(e, "bestmove"), "e2e4"));
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(EndToEnd, ANewHashSizeIsInPlaceBeforeReadyokAndNotOnTheClock) {
    EngineChild e = StartEngine({}, MakeTempDir());
    Send(e, "uci\nisready\n");
    ASSERT_EQ(WaitFor(e, "readyok"), "readyok");
    // A machine short of memory refuses the largest size (and says so).
    const int large = AvailableMemory() > (3ull << 30) ? 1024 : 128;
    for (int mb : {256, 16, large, 1}) {
        Send(e, "setoption name Hash value " + std::to_string(mb) + "\nisready\n");
        std::vector<std::string> before;
        ASSERT_EQ(WaitFor(e, "readyok", 60000, &before), "readyok");
        EXPECT_TRUE(AnyStartsWith(before, "info string allocated " + std::to_string(mb) + " Mbytes for hash table"))
            << mb << " MB: the table was not resized before readyok";
        Send(e, "position startpos\ngo wtime 2000 btime 2000\n");
        std::vector<std::string> search;
        EXPECT_TRUE(LegalBestMove(WaitFor(e, "bestmove", 60000, &search)));
        EXPECT_FALSE(AnyStartsWith(search, "info string allocated")) << mb << " MB: resized on the search's clock";
    }
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

// The sanitizers of addresses and threads map terabytes of shadow memory: an
// address-space limit cannot be set under them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TESK_NO_ADDRESS_LIMIT 1
#endif

TEST(EndToEnd, AHashSizeThatCannotBeHadKeepsTheTableInForce) {
#ifdef TESK_NO_ADDRESS_LIMIT
    GTEST_SKIP() << "no address-space limit under this sanitizer";
#endif
    // At most 1 GB of address space: 2048 and 1024 MB cannot be had; at
    // start-up the size is halved until it fits.
    EngineChild e = StartEngine({"-hash", "2048"}, MakeTempDir(), 1ull << 30);
    Send(e, "uci\nisready\n");
    std::vector<std::string> lines;
    ASSERT_EQ(WaitFor(e, "readyok", 20000, &lines), "readyok") << "the engine did not start";
    EXPECT_TRUE(AnyStartsWith(lines, "info string cannot allocate 2048 Mbytes for hash table, trying 1024"));
    EXPECT_TRUE(AnyStartsWith(lines, "info string cannot allocate 1024 Mbytes for hash table, trying 512"));
    EXPECT_TRUE(AnyStartsWith(lines, "info string allocated 512 Mbytes for hash table"));
    EXPECT_TRUE(AnyStartsWith(lines, "option name Hash type spin default 512 min 0 max 16384"));

    // In the game: the table in force stays and the engine plays on.
    lines.clear();
    Send(e, "setoption name Hash value 1024\nisready\n");
    ASSERT_EQ(WaitFor(e, "readyok", 20000, &lines), "readyok");
    EXPECT_TRUE(AnyStartsWith(lines, "info string cannot allocate 1024 Mbytes for hash table, it keeps its 512 Mbytes"));
    Send(e, "position startpos moves e2e4\ngo depth 6\n");
    EXPECT_TRUE(LegalBestMove(WaitFor(e, "bestmove"), "e2e4"));
    lines.clear();
    Send(e, "uci\nsetoption name Hash value 8\nisready\n");
    ASSERT_EQ(WaitFor(e, "readyok", 20000, &lines), "readyok");
    EXPECT_TRUE(AnyStartsWith(lines, "option name Hash type spin default 512 min 0 max 16384"))
        << "the option shows the size in force";
    EXPECT_TRUE(AnyStartsWith(lines, "info string allocated 8 Mbytes for hash table"));
    Send(e, "go depth 4\n");
    EXPECT_TRUE(LegalBestMove(WaitFor(e, "bestmove"), "e2e4"));
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
    // The file's Hash is in place at once, as a "setoption" would have it.
    EXPECT_TRUE(AnyStartsWith(lines, "info string allocated 32 Mbytes for hash table"));
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

// A named pipe where a file is read would block the engine in open() until a
// writer came. The readers that read a file more than once or at random
// places refuse it by its type and say why; the batch tools that read their
// input once from start to end take it, and without a writer it is empty
// input. Either way the engine answers at once.
TEST(EndToEnd, NamedPipesGivenAsFilesAreAnsweredWithoutWaiting) {
    const std::string dir = MakeTempDir();
    for (const char* name : {"pipe.cfg", "pipe.bin", "pipe.pgn", "pipe.epd", "KQvK.rtbw", "KQvK.rtbz"})
        ASSERT_EQ(mkfifo((dir + "/" + name).c_str(), 0600), 0) << name;
    const int kAnswer = 5000;  // only a hang takes this long

    // The configuration file, the book and a table folder over UCI.
    EngineChild e = StartEngine({"-cfg", "pipe.cfg"}, dir);
    Send(e, "isready\n");
    std::vector<std::string> lines;
    EXPECT_EQ(WaitFor(e, "readyok", kAnswer, &lines), "readyok");
    EXPECT_TRUE(AnyStartsWith(lines, "info string cannot open configuration file pipe.cfg: not a regular file"));
    Send(e, "setoption name OwnBook value true\nsetoption name OwnBook_File value pipe.bin\n"
            "position startpos\ngo depth 2\n");
    EXPECT_TRUE(LegalBestMove(WaitFor(e, "bestmove", kAnswer)));
    Send(e, "setoption name SyzygyPath value " + dir + "\nisready\n");
    EXPECT_EQ(WaitFor(e, "info string found", kAnswer), "info string found 0 tablebases");
    EXPECT_EQ(WaitFor(e, "readyok", kAnswer), "readyok");
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e, kAnswer), 0);

    // The console's "load".
    EngineChild c = StartEngine({"-c"}, dir);
    Send(c, "load pipe.pgn\nquit\n");
    EXPECT_EQ(WaitExit(c, kAnswer), 0);
    EXPECT_TRUE(AnyStartsWith(c.lines, "load: cannot open pipe.pgn: not a regular file")) << "no message from load";

    // "-tune" rereads its file in every pass: it ends with its message and
    // status 1.
    EngineChild t = StartEngine({"-tune", "pipe.epd"}, dir);
    EXPECT_EQ(WaitExit(t, kAnswer), 1) << "-tune waits on a named pipe or reports success";
    EXPECT_TRUE(AnyStartsWith(t.lines, "cannot open the tuning file pipe.epd: not a regular file"));

    // The batch tools that read their input once find it empty.
    const std::vector<std::pair<std::vector<std::string>, std::string>> batches = {
        {{"-anepd", "pipe.epd"}, "0 / 0 correct best moves"},
        {{"-scan_pgn1", "pipe.pgn"}, "games= 0, positions= 0"},
        {{"-mkbook", "pipe.pgn"}, "ngames= 0, nmoves= 0"},
        {{"-mktune", "pipe.epd"}, "Creating file tune_new.epd"}};
    for (const auto& batch : batches) {
        const std::vector<std::string>& args = batch.first;
        EngineChild b = StartEngine(args, dir);
        EXPECT_EQ(WaitExit(b, kAnswer), 0) << args[0] << " waits on a named pipe or fails";
        EXPECT_TRUE(AnyStartsWith(b.lines, batch.second)) << args[0];
    }
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

// ---- the opening book ----------------------------------------------------------------

namespace {

// A book entry as the file holds it: 16 bytes, big-endian.
std::string BookEntryBytes(uint64_t key, int from, int to, uint16_t weight) {
    std::string s;
    for (int i = 7; i >= 0; i--) s += (char)((key >> (8 * i)) & 0xFF);
    const uint16_t move = (uint16_t)(from << 6 | to);
    s += (char)(move >> 8), s += (char)(move & 0xFF);
    s += (char)(weight >> 8), s += (char)(weight & 0xFF);
    s += std::string(4, '\0');
    return s;
}

// The move of "bestmove <m> ..." and the lines before it.
std::string BestMove(EngineChild& e, std::vector<std::string>* before = nullptr) {
    std::string line = WaitFor(e, "bestmove ", 20000, before);
    return line.substr(0, line.find(' ', 9)).substr(std::min<size_t>(9, line.size()));
}

const char kRealBook[] = "/usr/share/games/gnuchess/book.bin";

}  // namespace

TEST(EndToEnd, BookMovesArePlayedWhileTheGameIsWithinTheBookDepth) {
    // The published keys of the start position, after 1. e4 and after 1. e4 d5;
    // the last one holds a move that is not legal there.
    std::string dir = MakeTempDir();
    std::ofstream(dir + "/my.bin", std::ios::binary)
        << BookEntryBytes(0x0756b94461c50fb0ULL, 12, 28, 5)     // e2e4: not a move of that position
        << BookEntryBytes(0x463b96181691fc9cULL, 11, 27, 40)    // d2d4
        << BookEntryBytes(0x823c9b50fd114196ULL, 51, 35, 7);    // d7d5
    EngineChild e = StartEngine({}, dir);
    Send(e, "setoption name OwnBook value true\nsetoption name OwnBook_File value my.bin\n"
            "setoption name OwnBook_Depth value 2\nposition startpos\ngo wtime 5000 btime 5000\n");
    std::vector<std::string> lines;
    EXPECT_EQ(BestMove(e, &lines), "d2d4");
    EXPECT_EQ(WaitFor(e, "", 100), "") << "no ponder move and nothing else follows";
    EXPECT_TRUE(AnyStartsWith(lines, "info string ( book moves are: d2d4  )"));
    EXPECT_TRUE(AnyStartsWith(lines, "info string book move is d2d4"));
    EXPECT_FALSE(AnyStartsWith(lines, "info depth")) << "no search runs for a book move";
    EXPECT_EQ(e.lines.back(), "bestmove d2d4") << "without a ponder move";

    // Game ply 1 is below the book depth 2.
    Send(e, "position startpos moves e2e4\ngo wtime 5000 btime 5000\n");
    lines.clear();
    EXPECT_EQ(BestMove(e, &lines), "d7d5");
    EXPECT_TRUE(AnyStartsWith(lines, "info string book move is d7d5"));

    // Game ply 2 is not: the position is searched without asking the book.
    Send(e, "position startpos moves e2e4 d7d5\ngo depth 2\n");
    lines.clear();
    std::string best = BestMove(e, &lines);
    EXPECT_FALSE(AnyStartsWith(lines, "info string ( book moves"));
    EXPECT_TRUE(AnyStartsWith(lines, "info depth 2"));
    EXPECT_TRUE(LegalBestMove("bestmove " + best, "e2e4 d7d5"));

    // Within the depth, a stored move that is not legal is listed, not played.
    Send(e, "setoption name OwnBook_Depth value 3\nposition startpos moves e2e4 d7d5\ngo depth 2\n");
    lines.clear();
    best = BestMove(e, &lines);
    EXPECT_TRUE(AnyStartsWith(lines, "info string ( book moves are: e2e4  )"));
    EXPECT_FALSE(AnyStartsWith(lines, "info string book move"));
    EXPECT_TRUE(LegalBestMove("bestmove " + best, "e2e4 d7d5"));

    // OwnBook off: no probe at all.
    Send(e, "setoption name OwnBook value false\nposition startpos\ngo depth 1\n");
    lines.clear();
    BestMove(e, &lines);
    EXPECT_FALSE(AnyStartsWith(lines, "info string ( book moves"));
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(EndToEnd, ARealBookIsListedAndFollowedInAGame) {
    if (access(kRealBook, R_OK) != 0) GTEST_SKIP() << kRealBook << " is missing (Debian package gnuchess-book)";
    EngineChild e = StartEngine({}, MakeTempDir());
    Send(e, std::string("setoption name OwnBook value true\nsetoption name OwnBook_File value ") + kRealBook +
                "\nsetoption name OwnBook_Variety value 0\n");
    // At variety 0 every weight falls by a quarter of the heaviest (12135):
    // only e4, d4, Nf3 and c4 of the 13 moves keep a share.
    for (int i = 0; i < 12; i++) {
        Send(e, "position startpos\ngo wtime 5000 btime 5000\n");
        std::vector<std::string> lines;
        std::string best = BestMove(e, &lines);
        EXPECT_TRUE(best == "e2e4" || best == "d2d4" || best == "g1f3" || best == "c2c4") << best;
        EXPECT_TRUE(AnyStartsWith(lines, "info string ( book moves are: e2e4 d2d4 g1f3 c2c4 g2g3 b2b3 f2f4 b1c3 "
                                         "b2b4 e2e3 d2d3 g2g4 a2a3  )"));
    }
    // A game: each side plays from the book as long as it has a move.
    std::string moves;
    int book_moves = 0;
    Send(e, "setoption name OwnBook_Variety value 25\n");
    for (int ply = 0; ply < 8; ply++) {
        Send(e, "position startpos moves" + moves + "\ngo depth 3\n");
        std::vector<std::string> lines;
        std::string best = BestMove(e, &lines);
        ASSERT_TRUE(LegalBestMove("bestmove " + best, moves)) << best << " after" << moves;
        if (AnyStartsWith(lines, "info string book move is " + best)) book_moves++;
        moves += " " + best;
    }
    EXPECT_GE(book_moves, 2) << "the first moves come from the book:" << moves;
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(EndToEnd, MkbookBuildsABookThatTheEnginePlaysFrom) {
    std::string dir = MakeTempDir();
    std::string game = "[Event \"?\"]\n[Result \"1-0\"]\n\n1. c4 e5 1-0\n\n";
    std::ofstream(dir + "/g.pgn") << game << game << game;
    EngineChild m = StartEngine({"-mkbook", "g.pgn"}, dir);
    EXPECT_EQ(WaitExit(m), 0);
    std::vector<std::string> expected = {" Creating file tmp_book.bin from games in g.pgn", "", "writing book file ...",
                                         "", "ngames= 3, nmoves= 2", "done"};
    ASSERT_GE(m.lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(m.lines.end() - (long)expected.size(), m.lines.end()), expected);
    // One entry: the start position's c2c4 (10 << 6 | 26) with weight 12.
    EXPECT_EQ(ReadFile(dir + "/tmp_book.bin"), BookEntryBytes(0x463b96181691fc9cULL, 10, 26, 12));

    EngineChild e = StartEngine({"-book", "tmp_book.bin"}, dir);
    Send(e, "setoption name OwnBook value true\nposition startpos\ngo wtime 5000 btime 5000\n");
    EXPECT_EQ(BestMove(e), "c2c4");
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

// ---------------------------------------------------------------------------
// Endgame tables.

namespace {

bool HaveTables() {
    struct stat st;
    return stat((std::string(TESK_SYZYGY_DATA) + "/KRvK.rtbw").c_str(), &st) == 0;
}

// KRvK, white to win, with twelve king moves on the fifty-move counter.
const char* const KRK_TWELVE_PLIES =
    "position fen 8/8/8/4k3/8/8/8/R3K3 w - - 0 1 moves e1d1 e5d5 d1e1 d5e5 e1d1 e5d5 d1e1 d5e5 e1d1 e5d5 d1e1 d5e5\n";

// Searches the position with the "go" line; the last line before "bestmove"
// (the final "info" line), or "" when there was none.
std::string LastInfo(EngineChild& e, const std::string& fen, const std::string& go) {
    Send(e, "position fen " + fen + "\n" + go + "\n");
    std::vector<std::string> lines;
    WaitFor(e, "bestmove", 20000, &lines);
    return lines.empty() ? "" : lines.back();
}

}  // namespace

TEST(EndToEnd, TablesFromTheCommandLinePlayTheirMoveAtOnce) {
    if (!HaveTables()) GTEST_SKIP() << "no Syzygy test tables in " << TESK_SYZYGY_DATA;
    EngineChild e = StartEngine({"-tbpath", TESK_SYZYGY_DATA}, MakeTempDir());
    EXPECT_EQ(WaitFor(e, "info string found"), "info string found 23 tablebases");
    Send(e, std::string(KRK_TWELVE_PLIES) + "go depth 30\n");
    std::vector<std::string> lines;
    const std::string best = WaitFor(e, "bestmove", 20000, &lines);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().compare(0, 40, "info depth 99 seldepth 98 score cp 9800 "), 0) << lines.back();
    EXPECT_NE(lines.back().find(" tbhits 1 "), std::string::npos) << lines.back();
    EXPECT_NE(lines.back().find(" pv " + best.substr(9)), std::string::npos) << lines.back() << " / " << best;
    // Fewer than ten plies on the counter: searched, the table's win reported.
    std::string info = LastInfo(e, "8/8/8/4k3/8/8/8/R3K3 w - - 0 1", "go depth 6");
    EXPECT_EQ(info.compare(0, 12, "info depth 6"), 0) << info;
    EXPECT_NE(info.find("score cp 9800 "), std::string::npos) << info;
    // The counter from the FEN's halfmove field: 10 plays the table move at
    // once, 9 searches. The same holds for the losing side (score -9800).
    for (const char* fen : {"8/8/8/4k3/8/8/8/R3K3 w - - 10 6", "8/8/8/4k3/8/8/8/R3K3 b - - 10 6"}) {
        info = LastInfo(e, fen, "go depth 30");
        const char* want = strchr(fen, ' ')[1] == 'w' ? "info depth 99 seldepth 98 score cp 9800 "
                                           : "info depth 99 seldepth 98 score cp -9800 ";
        EXPECT_EQ(info.compare(0, strlen(want), want), 0) << fen << ": " << info;
    }
    info = LastInfo(e, "8/8/8/4k3/8/8/8/R3K3 w - - 9 6", "go depth 4");
    EXPECT_EQ(info.compare(0, 12, "info depth 4"), 0) << "counter 9 is searched: " << info;
    // A table result that the counter spoils is a draw: a win 7 plies from
    // zeroing and a loss 16 plies from it (the sample's DTZ), on a counter of
    // 95. The same with the second set of tables: a cursed win (DTZ 111) and
    // a blessed loss (DTZ -126) on a counter of 10 and 12.
    std::vector<std::string> spoilt = {"8/8/8/3K4/8/7k/8/3Q4 w - - 95 60", "8/6q1/k7/8/8/8/4K3/8 w - - 95 1"};
    const std::string set2 = std::string(TESK_SHARED_DATA) + "/syzygy-set2";
    struct stat st;
    const bool second_set = stat((set2 + "/KBBvKN.rtbw").c_str(), &st) == 0;
    if (second_set) {
        Send(e, std::string("setoption name SyzygyPath value ") + TESK_SYZYGY_DATA + ":" + set2 + "\n");
        EXPECT_EQ(WaitFor(e, "info string found"), "info string found 37 tablebases");
        spoilt.push_back("1b6/1k3b1N/8/8/8/4K3/8/8 b - - 10 1");
        spoilt.push_back("8/8/8/8/KBk1n3/8/8/7B b - - 12 1");
    }
    for (const std::string& fen : spoilt) {
        info = LastInfo(e, fen, "go depth 30");
        const std::string want = "info depth 99 seldepth 98 score cp 0 ";
        EXPECT_EQ(info.compare(0, want.size(), want), 0) << fen << ": " << info;
    }
    if (second_set) {
        // Below ten plies on the counter the cursed win is searched, and its
        // search score is shown as it is (neither the table's win nor 0 forced).
        info = LastInfo(e, "1b6/1k3b1N/8/8/8/4K3/8/8 b - - 0 1", "go depth 6");
        EXPECT_EQ(info.compare(0, 12, "info depth 6"), 0) << info;
        EXPECT_EQ(info.find("score cp 9800 "), std::string::npos) << info;
    }
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
    if (!second_set) GTEST_SKIP() << "the second set of Syzygy test tables is not in " << set2;
}

TEST(EndToEnd, BadTableFilesDoNotEndTheEngine) {
    if (!HaveTables()) GTEST_SKIP() << "no Syzygy test tables in " << TESK_SYZYGY_DATA;
    const std::string dir = MakeTempDir();
    std::ofstream(dir + "/KRvK.rtbw");  // empty
    {
        std::ifstream in(std::string(TESK_SYZYGY_DATA) + "/KQvK.rtbw", std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(dir + "/KQvK.rtbw", std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    }
    mkdir((dir + "/KRvKR.rtbw").c_str(), 0755);
    EngineChild e = StartEngine({}, dir);
    Send(e, "setoption name SyzygyPath value " + dir + "\nisready\n");
    // Each file is refused by name, and none counts.
    std::vector<std::string> told;
    EXPECT_EQ(WaitFor(e, "info string found", 20000, &told), "info string found 0 tablebases");
    for (const char* refused : {"KQvK.rtbw: shorter than its tables", "KRvK.rtbw: the file is empty",
                                "KRvKR.rtbw: not a regular file"})
        EXPECT_TRUE(AnyStartsWith(told, "info string cannot use table file " + dir + "/" + refused)) << refused;
    EXPECT_EQ(WaitFor(e, "readyok"), "readyok");
    for (const char* fen : {"8/8/8/4k3/8/8/8/R3K3 w - - 0 1", "8/8/8/4k3/8/8/8/1Q2K3 w - - 0 1",
                            "8/8/3k4/8/3r4/8/8/R2K4 w - - 0 1"}) {
        Send(e, std::string("position fen ") + fen + "\ngo depth 5\n");
        std::vector<std::string> seen;
        const std::string best = WaitFor(e, "bestmove ", 20000, &seen);
        EXPECT_FALSE(AnyStartsWith(seen, "info string Illegal")) << fen;
        EXPECT_EQ(best.compare(0, 9, "bestmove "), 0) << fen << ": " << best;
        EXPECT_NE(best.compare(0, 13, "bestmove 0000"), 0) << fen << ": a move is found without the tables";
    }
    Send(e, std::string(KRK_TWELVE_PLIES) + "go depth 5\n");
    std::vector<std::string> lines;
    EXPECT_NE(WaitFor(e, "bestmove", 20000, &lines), "");
    Send(e, "isready\n");
    EXPECT_EQ(WaitFor(e, "readyok"), "readyok");
    EXPECT_FALSE(lines.empty() || lines.back().find("depth 99") != std::string::npos) << "no table move";
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}
