// The input layer: line assembly from raw reads, the command queue, the
// command word, and which queued command runs while a search is busy.
#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "uci_test_util.h"

namespace {

std::vector<std::string> DrainQueue() {
    std::vector<std::string> lines;
    std::string line;
    while (PopQueuedCommand(line)) lines.push_back(line);
    return lines;
}

void Feed(const std::string& bytes) { QueueInputBytes(bytes.data(), bytes.size()); }

using Lines = std::vector<std::string>;

}  // namespace

TEST_F(UciTest, LinesSplitAcrossReadsAreAssembledOnceTheirEndArrives) {
    Feed("posi");
    EXPECT_EQ(QueuedCommands(), 0);
    Feed("tion startpos\nis");
    EXPECT_EQ(QueuedCommands(), 1);
    Feed("ready\n");
    EXPECT_EQ(DrainQueue(), (Lines{"position startpos", "isready"}));
}

TEST_F(UciTest, LineEndsAndEmptyLines) {
    // "\r\n" endings, blank lines and lone carriage returns give no empty
    // commands; a NUL byte ends a line like a line feed.
    Feed(std::string("stop\r\n\n\r\nisready\n\r\nuci") + std::string(1, '\0') + "quit\r\n");
    EXPECT_EQ(DrainQueue(), (Lines{"stop", "isready", "uci", "quit"}));
}

TEST_F(UciTest, NoCharacterInsideALineSplitsIt) {
    Feed("setoption name OwnBook_File value my@book.bin\n");
    EXPECT_EQ(DrainQueue(), (Lines{"setoption name OwnBook_File value my@book.bin"}));
}

TEST_F(UciTest, ManyLinesInOneReadAreAllQueuedInOrder) {
    std::string burst;
    for (int i = 0; i < 500; i++) burst += "go depth " + std::to_string(i) + "\n";
    Feed(burst);
    Lines got = DrainQueue();
    ASSERT_EQ(got.size(), 500u);
    EXPECT_EQ(got.front(), "go depth 0");
    EXPECT_EQ(got.back(), "go depth 499");
}

TEST_F(UciTest, OverLongLineIsDroppedWholeWithAMessage) {
    std::string longest(MAX_INPUT_LINE, 'x');
    std::string too_long(MAX_INPUT_LINE + 1, 'y');
    std::string out = Captured([&] {
        // Fed in small pieces, so that the limit is crossed between reads.
        std::string bytes = too_long + "\nisready\n" + longest + "\n";
        for (size_t i = 0; i < bytes.size(); i += 1000) Feed(bytes.substr(i, 1000));
    });
    EXPECT_TRUE(Contains(out, "info string input line longer than 8191 characters ignored")) << out;
    Lines got = DrainQueue();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "isready");
    EXPECT_EQ(got[1], longest);
}

TEST_F(UciTest, EndOfInputQueuesALastLineWithoutLineEnd) {
    Feed("isready\nquit");
    EXPECT_EQ(QueuedCommands(), 1);
    EndOfInput();
    EXPECT_TRUE(InputEnded());
    EXPECT_EQ(DrainQueue(), (Lines{"isready", "quit"}));
}

TEST_F(UciTest, FirstTokenIsBoundedAndStopsAtBlanksAndLineEnds) {
    EXPECT_STREQ(GetFirstToken("   go depth 5"), "go");
    EXPECT_STREQ(GetFirstToken("stop\r\n"), "stop");
    EXPECT_STREQ(GetFirstToken("\tisready"), "isready");
    EXPECT_STREQ(GetFirstToken(""), "");
    EXPECT_STREQ(GetFirstToken("   "), "");
    std::string huge(1000, 'a');
    EXPECT_EQ(std::string(GetFirstToken(huge.c_str())), std::string(127, 'a'));
}

TEST_F(UciTest, QueuedCommandsRunOnePerCallInArrivalOrder) {
    Feed("isready\nucinewgame\nisready\n");
    std::string first = Captured([] { EXPECT_EQ(RunQueuedCommand(), 1); });
    EXPECT_EQ(first, "readyok\n");
    EXPECT_EQ(QueuedCommands(), 2);
    std::string rest = Captured([] {
        while (RunQueuedCommand()) {
        }
    });
    EXPECT_EQ(rest, "readyok\n");
    EXPECT_EQ(RunQueuedCommand(), 0);
}

TEST_F(UciTest, WhileASearchIsPendingGameCommandsWaitAndOthersRun) {
    // A requested search waiting for the previous one to be reported.
    SearchData.request = 1;
    SearchData.search_mode = 2;
    SearchData.stop = 0;
    Feed("position startpos moves e2e4\ngo depth 3\nisready\nponderhit\n");
    std::string out = Captured([] {
        RunQueuedCommand();
        RunQueuedCommand();
    });
    EXPECT_EQ(out, "readyok\n");
    EXPECT_EQ(SearchData.search_mode.load(), 1) << "ponderhit ran past the waiting commands";
    EXPECT_EQ(SearchData.stop.load(), STOP_CONSOLE) << "a waiting \"go\" ends the running search";
    EXPECT_EQ(CTD->game_ply, 0) << "position must wait for the search";
    EXPECT_EQ(RunQueuedCommand(), 0);
    EXPECT_EQ(QueuedCommands(), 2);

    // Once the search has been reported the waiting commands run in order.
    SearchData.request = 0;
    SearchData.search_mode = 0;
    Captured([] {
        while (RunQueuedCommand()) {
        }
    });
    EXPECT_EQ(CTD->game_ply, 1);
    EXPECT_EQ(SearchData.request.load(), 1);
    EXPECT_EQ(SearchData.depth_limit, 3);

    // A search whose threads are done but whose "bestmove" is not printed
    // yet: a setting sent behind it waits for the report.
    SearchData.request = 0;
    SearchData.search_mode = 1;
    Feed("setoption name MultiPV value 3\n");
    EXPECT_EQ(Captured([] { RunQueuedCommand(); }), "");
    EXPECT_EQ(Personality.MultiPV, 1);
    SearchData.search_mode = 0;
    EXPECT_EQ(Captured([] { RunQueuedCommand(); }), "info string MultiPV set to 3\n");
}

TEST_F(UciTest, ASearchEndingWhileTheQueueIsLookedThroughLetsNoCommandOvertakeAnother) {
    // One pool thread, busy until a helper ends its work at a random moment
    // while the waiting "position" and "go" are being looked at.
    ThreadRecord* t = AllocThreadRecord();
    ASSERT_NE(t, nullptr);
    ThreadRecord* saved = ThreadData[0];
    ThreadData[0] = t;
    SearchData.threads = 1;
    const int trials = 1000;
    std::atomic<int> armed{-1};
    std::thread helper([t, &armed] {
        std::mt19937 rng(12345);
        for (int trial = 0; trial < trials; trial++) {
            while (armed.load() != trial) std::this_thread::yield();
            for (volatile unsigned i = 0, spins = rng() % 4000; i < spins; i = i + 1) {
            }
            t->command = 0;
        }
    });
    int overtaken = 0;
    for (int trial = 0; trial < trials; trial++) {
        SetPosition(&CTD->pos, START_FEN);
        SearchData.request = 0;
        SearchData.increment = 0.0;
        t->command = 1;
        // The increment tells which side was to move when "go" ran.
        Feed("position startpos moves e2e4\ngo winc 500 binc 0\n");
        armed = trial;
        while (QueuedCommands() > 0)
            if (!RunQueuedCommand()) std::this_thread::yield();
        while (t->command.load()) std::this_thread::yield();
        if (SearchData.increment != 0.0) overtaken++;
    }
    helper.join();
    ThreadData[0] = saved;
    SearchData.threads = 0;
    FreeThreadRecord(t);
    EXPECT_EQ(overtaken, 0) << "\"go\" ran before the \"position\" queued ahead of it";
}

TEST_F(UciTest, ConsoleModeHandsUciOverToTheUciCommands) {
    PBlock.uci = 0;
    Feed("uci\n");
    std::string out = Captured([] { RunQueuedCommand(); });
    EXPECT_EQ(PBlock.uci, 1);
    EXPECT_TRUE(Contains(out, "id name Tesk 4.0\n"));
    EXPECT_TRUE(Contains(out, "uciok\n"));
}
