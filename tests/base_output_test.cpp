// The output layer: lines on standard output, their copies in the log file,
// the board diagram, and whole lines from concurrent printers.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/output.h"
#include "board/display.h"
#include "scratch_dir.h"
#include "test_util.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

std::string ReadFile(const char* name) {
    std::ifstream f(name);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Each test runs in a scratch directory of its own, so that tesk.log never
// collides with other tests or with a real log.
class Output : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        ASSERT_TRUE(scratch.entered) << "no scratch folder";
        saved_log = Personality.Log;
    }
    void TearDown() override {
        CloseLogFile();
        Personality.Log = saved_log;
    }
    InScratchDir scratch{"output"};
    int16_t saved_log = 0;
};

TEST_F(Output, LinesGoToStandardOutputWithALineEnd) {
    Personality.Log = 0;
    CaptureStdout();
    ShowMessage("readyok");
    ShowMessageF("info depth %d score cp %d", 3, -15);
    ShowMessage("");
    EXPECT_EQ(GetCapturedStdout(), "readyok\ninfo depth 3 score cp -15\n\n");
}

TEST_F(Output, LogFileCopiesEveryLineWhileLoggingIsOn) {
    {
        std::ofstream old("tesk.log");
        old << "an old log\n";
    }
    Personality.Log = 1;
    OpenLogFile();  // an old log is deleted, never appended to
    ASSERT_NE(fdlog, nullptr);
    CaptureStdout();
    ShowMessage("first");
    Personality.Log = 0;
    ShowMessage("not copied");
    Personality.Log = 1;
    OpenLogFile();  // switched on again: the same file goes on
    ShowMessage("second");
    EXPECT_EQ(GetCapturedStdout(), "first\nnot copied\nsecond\n");
    EXPECT_EQ(ReadFile("tesk.log"), "first\nsecond\n");
}

TEST_F(Output, WithoutAnOpenLogOnlyStandardOutputIsWritten) {
    Personality.Log = 1;
    ASSERT_EQ(fdlog, nullptr);
    CaptureStdout();
    ShowMessage("only here");
    EXPECT_EQ(GetCapturedStdout(), "only here\n");
    struct stat st;
    EXPECT_NE(stat("tesk.log", &st), 0);
}

TEST_F(Output, ALogThatCannotBeRemovedSwitchesLoggingOff) {
    // A non-empty directory of that name cannot be deleted.
    ASSERT_EQ(mkdir("tesk.log", 0755), 0);
    { std::ofstream f("tesk.log/keep"); f << "x"; }
    Personality.Log = 1;
    CaptureStdout();
    OpenLogFile();
    EXPECT_EQ(GetCapturedStdout(), "log file in use.\n");
    EXPECT_EQ(Personality.Log, 0);
    EXPECT_EQ(fdlog, nullptr);
}

TEST_F(Output, BoardDiagram) {
    ThreadRecord* t = NewTestRecord();
    SetTestPosition(t, START_FEN);
    Personality.Log = 1;
    OpenLogFile();
    CaptureStdout();
    ShowBoard(&t->pos);
    std::string out = GetCapturedStdout();
    const std::string expected =
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -\n"
        "  r n b q k b n r\n"
        "  o o o o o o o o\n"
        "  - + - + - + - +\n"
        "  + - + - + - + -\n"
        "  - + - + - + - +\n"
        "  + - + - + - + -\n"
        "  P P P P P P P P\n"
        "  R N B Q K B N R\n"
        "white\n"
        "\n";
    EXPECT_EQ(out, expected);
    EXPECT_EQ(ReadFile("tesk.log"), expected);
    // Black to move, black pawns as 'o', empty squares by colour.
    SetTestPosition(t, "4k3/8/8/8/3p4/8/8/4K3 b - -");
    CaptureStdout();
    ShowBoard(&t->pos);
    out = GetCapturedStdout();
    EXPECT_NE(out.find("\n  - + - o - + - +\n"), std::string::npos) << out;  // rank 4
    EXPECT_NE(out.find("\n  + - + - K - + -\n"), std::string::npos) << out;  // rank 1: a1 is '+'
    EXPECT_EQ(out.substr(out.size() - 7), "black\n\n");
    FreeThreadRecord(t);
}

TEST_F(Output, ConcurrentPrintersNeverMixTheirLines) {
    Personality.Log = 1;
    OpenLogFile();
    CaptureStdout();
    std::vector<std::thread> threads;
    const int kLines = 500;
    for (int id = 0; id < 4; id++)
        threads.emplace_back([id] {
            std::string line = "thread " + std::to_string(id) + " " + std::string(200, 'a' + id);
            for (int i = 0; i < kLines; i++) ShowMessage(line.c_str());
        });
    for (auto& th : threads) th.join();
    std::string out = GetCapturedStdout();
    std::string log = ReadFile("tesk.log");
    EXPECT_EQ(out, log) << "the log holds the same lines in the same order";
    std::istringstream in(out);
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        ASSERT_EQ(line.size(), 209u) << line;
        int id = line[7] - '0';
        ASSERT_EQ(line, "thread " + std::to_string(id) + " " + std::string(200, 'a' + id));
        count++;
    }
    EXPECT_EQ(count, 4 * kLines);
}

}  // namespace
