// The "info" lines, the console line, publishing a best line, and the trace.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "board/makemove.h"
#include "search/info.h"
#include "search/records.h"
#include "tests/test_util.h"

namespace {

Move M(const char* text) {
    int from = (text[0] - 'a') + 8 * (text[1] - '1');
    int to = (text[2] - 'a') + 8 * (text[3] - '1');
    Move m = MakeMoveCode(from, to);
    if (text[4] == 'q') m |= PROMO_QUEEN;
    return m;
}

// One pool record (thread 0) whose counters Collect sums, a published line,
// and the output settings of a UCI search past its quiet interval.
struct InfoFixture : ::testing::Test {
    ThreadRecord* saved0 = nullptr;
    uint8_t saved_threads = 0;
    uint16_t pv[MAX_PLY + 2] = {};
    void SetUp() override {
        InitTestEnvironment();
        saved0 = ThreadData[0];
        saved_threads = SearchData.threads;
        ThreadData[0] = NewTestRecord();
        ThreadData[0]->thread_index = 0;
        SearchData.threads = 1;
        ThreadData[0]->nodes = 123456;
        ThreadData[0]->tb_hits = 7;
        ThreadData[0]->seldepth = 12;
        SearchData.elapsed = 1.234;
        SearchData.stop = 0;
        SearchData.multipv = 1;
        SearchData.tb_result = -1;
        PBlock.noise = 0.0;
        PBlock.uci = 1;
        pv[1] = M("e2e4");
        pv[2] = M("e7e5");
        pv[3] = M("g1f3");
    }
    void TearDown() override {
        FreeThreadRecord(ThreadData[0]);
        ThreadData[0] = saved0;
        SearchData.threads = saved_threads;
    }
    std::string Show(int thread, int k, int d, int s) {
        testing::internal::CaptureStdout();
        DisplaySearchInfo(thread, k, d, s, pv);
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(InfoFixture, UciLineIsByteExact) {
    EXPECT_EQ(Show(0, 0, 5, 35),
              "info depth 5 seldepth 11 score cp 35 time 1234 nodes 123456 nps 100045 tbhits 7 hashfull 0 "
              "pv e2e4 e7e5 g1f3\n");
    EXPECT_EQ(SearchData.nodes, 123456u);  // the counters were collected
}

TEST_F(InfoFixture, ScoresAsMateDistances) {
    EXPECT_EQ(UciScoreText(9998), "mate 1");
    EXPECT_EQ(UciScoreText(9996), "mate 2");
    EXPECT_EQ(UciScoreText(9900), "mate 50");
    EXPECT_EQ(UciScoreText(9899), "cp 9899");
    EXPECT_EQ(UciScoreText(-9900), "cp -9900");
    // Mated after one more own move (mated at ply 3) is "mate -1".
    EXPECT_EQ(UciScoreText(-9997), "mate -1");
    EXPECT_EQ(UciScoreText(-9995), "mate -2");
    EXPECT_EQ(UciScoreText(-9901), "mate -49");
    EXPECT_EQ(UciScoreText(0), "cp 0");
    EXPECT_NE(Show(0, 0, 9, -9997).find(" score mate -1 time "), std::string::npos);
}

TEST_F(InfoFixture, TablebaseResultShapesTheShownScore) {
    SearchData.tb_result = 4;
    EXPECT_NE(Show(0, 0, 5, 150).find(" score cp 9800 "), std::string::npos);
    EXPECT_NE(Show(0, 0, 5, 9950).find(" score mate 25 "), std::string::npos);
    SearchData.tb_result = 2;
    EXPECT_NE(Show(0, 0, 5, 150).find(" score cp 0 "), std::string::npos);
    SearchData.tb_result = 0;
    EXPECT_NE(Show(0, 0, 5, 150).find(" score cp -9800 "), std::string::npos);
    EXPECT_NE(Show(0, 0, 5, -9995).find(" score mate -2 "), std::string::npos);
    SearchData.tb_result = 3;
    EXPECT_NE(Show(0, 0, 5, 150).find(" score cp 150 "), std::string::npos);
}

TEST_F(InfoFixture, MultiPvPrefixAndDeepLinesWithFill) {
    SearchData.multipv = 3;
    std::string line = Show(0, 2, 9, -20);
    EXPECT_EQ(line.rfind("info multipv 2 depth 9 seldepth 11 score cp -20 time 1234 ", 0), 0u) << line;
    SearchData.multipv = 1;
    SearchData.elapsed = 0.0009;  // nps 0 when almost no time has passed
    line = Show(0, 0, 3, 1);
    EXPECT_NE(line.find(" time 1 nodes 123456 nps 0 "), std::string::npos) << line;
}

TEST_F(InfoFixture, FilterHoldsBackLines) {
    PBlock.noise = 2.0;  // quiet interval not yet over
    EXPECT_EQ(Show(0, 0, 5, 35), "");
    SearchData.stop = 1;  // ... but the end of the search is always shown
    EXPECT_NE(Show(0, 0, 5, 35), "");
    PBlock.noise = 9999.0;  // silenced: nothing, even at the end
    EXPECT_EQ(Show(0, 1, 5, 35), "");
    PBlock.noise = 0.0;
    EXPECT_EQ(Show(0, 1, 0, 35), "");  // depth 0
    pv[1] = 0;
    EXPECT_EQ(Show(0, 1, 5, 35), "");  // no move
}

TEST_F(InfoFixture, ConsoleLineAndContinuations) {
    PBlock.uci = 0;
    EXPECT_EQ(Show(0, 0, 9, 35), "00] 09    1.2     123K    35  e2e4 e7e5 g1f3\n");
    // Line 1 of 1 ends a block with an empty line; a helper's line does not.
    EXPECT_EQ(Show(0, 1, 9, 35), "00] 09.   1.2     123K    35  e2e4 e7e5 g1f3\n\n");
    EXPECT_EQ(Show(3, 1, 9, 35), "03] 09.   1.2     123K    35  e2e4 e7e5 g1f3\n");
    // A long line: 8 moves while the search runs, 32 on up to four lines after it.
    const char* moves[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    for (int i = 1; i <= 40; i++) pv[i] = M(moves[(i - 1) % 4]);
    pv[41] = 0;
    std::string running = Show(0, 0, 9, 35);
    EXPECT_EQ(running, "00] 09    1.2     123K    35  g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8\n");
    SearchData.stop = 1;
    std::string cont = "\n" + std::string(30, ' ');
    std::string eight = "g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8";
    EXPECT_EQ(Show(0, 0, 9, 35), "00] 09    1.2     123K    35  " + eight + cont + eight + cont + eight + cont + eight + "\n");
}

TEST_F(InfoFixture, AtMost66MovesOfTheLine) {
    for (int i = 1; i <= 69; i++) pv[i] = (i & 1) ? M("g1f3") : M("g8f6");
    std::string line = Show(0, 0, 9, 35);
    std::string pvtext = line.substr(line.find(" pv ") + 4);
    int words = 0;
    for (char c : pvtext) words += c == ' ';
    EXPECT_EQ(words + 1, 66);
}

// Publishing a thread's line.
struct PublishFixture : InfoFixture {
    ThreadRecord* t = nullptr;
    void SetUp() override {
        InfoFixture::SetUp();
        t = ThreadData[0];
        SearchData.best_score = -10000;
        SearchData.best_depth = 0;
        SearchData.change_depth = 0;
        for (auto& m : SearchData.pv) m = 0;
        for (int d = 0; d < MAX_PLY + 2; d++) {
            SearchData.depth_score[d] = -10001;
            SearchData.depth_move[d] = 0;
            SearchData.depth_nodes[d] = 0;
        }
        PBlock.noise = 9999.0;
    }
    void Line(const char* a, const char* b, int score, int depth) {
        t->pv[1] = M(a);
        t->pv[2] = M(b);
        t->pv[3] = 0;
        t->score = (int16_t)score;
        t->done_depth = (uint8_t)depth;
    }
};

TEST_F(PublishFixture, NewBestMoveCopiesTheLineAndTracksChanges) {
    Line("e2e4", "e7e5", 30, 3);
    NewBestMove(t);
    EXPECT_EQ(SearchData.pv[1], M("e2e4"));
    EXPECT_EQ(SearchData.pv[2], M("e7e5"));
    EXPECT_EQ(SearchData.best_score, 30);
    EXPECT_EQ(SearchData.best_depth, 3);
    EXPECT_EQ(SearchData.change_depth, 3);
    EXPECT_EQ(SearchData.depth_score[3], 30);
    EXPECT_EQ(SearchData.depth_move[3], M("e2e4"));
    // Same move one iteration later: the score is updated, no change of move.
    Line("e2e4", "c7c5", 25, 4);
    NewBestMove(t);
    EXPECT_EQ(SearchData.change_depth, 3);
    EXPECT_EQ(SearchData.best_score, 25);
    EXPECT_EQ(SearchData.pv[2], M("c7c5"));
    // Nothing new: the published line stays as it is.
    Line("e2e4", "e7e6", 25, 4);
    NewBestMove(t);
    EXPECT_EQ(SearchData.pv[2], M("c7c5"));
    // Another move changes the change depth.
    Line("d2d4", "d7d5", 40, 5);
    NewBestMove(t);
    EXPECT_EQ(SearchData.change_depth, 5);
}

TEST_F(PublishFixture, StandInMoveCountsAsNoResult) {
    // The root puts a legal stand-in move out before the first iteration.
    SearchData.pv[1] = M("e2e4");
    Line("e2e4", "e7e5", 30, 1);
    NewBestMove(t);
    EXPECT_EQ(SearchData.change_depth, 1);
    EXPECT_EQ(SearchData.best_depth, 1);
}

TEST_F(PublishFixture, TablebaseDepth99StaysInsideThePerDepthTables) {
    Line("e2e4", "e7e5", 9799, 99);
    NewBestMove(t);
    EXPECT_EQ(SearchData.best_depth, 99);
    EXPECT_EQ(SearchData.best_score, 9799);
    for (int d = 0; d < MAX_PLY + 2; d++) {
        EXPECT_EQ(SearchData.depth_score[d], -10001) << d;
        EXPECT_EQ(SearchData.depth_move[d], 0) << d;
        EXPECT_EQ(SearchData.depth_nodes[d], 0u) << d;
    }
}

TEST_F(PublishFixture, ReportsFromIterationTwoWithOneLine) {
    PBlock.noise = 0.0;
    Line("e2e4", "e7e5", 30, 1);
    testing::internal::CaptureStdout();
    NewBestMove(t);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    Line("d2d4", "d7d5", 30, 2);
    testing::internal::CaptureStdout();
    NewBestMove(t);
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("info depth 2 seldepth 11 score cp 30 ", 0), 0u);
    SearchData.multipv = 2;
    Line("g1f3", "d7d5", 30, 3);
    testing::internal::CaptureStdout();
    NewBestMove(t);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(SearchData.pv[1], M("g1f3"));  // published all the same
}

// The search trace writes the tree, indented by ply, under a header per iteration.
TEST(SearchTrace, WritesIndentedMovesWithHeaders) {
    InitTestEnvironment();
    ThreadRecord* t = NewTestRecord();
    t->pos.owner = t;
    SetTestPosition(t, START_FEN);

    PBlock.trace = 2;
    t->depth = 7;
    t->ply = 1;
    t->stack[1].depth = 7;
    TraceMove(&t->pos, M("e2e4"));
    t->ply = 2;
    t->stack[2].depth = 6;
    TraceMove(&t->pos, M("e7e5"));
    t->ply = 3;  // beyond the trace depth: not written
    TraceMove(&t->pos, M("g1f3"));
    t->ply = 2;
    TraceMove(&t->pos, 0);
    t->ply = 1;
    t->depth = 8;
    t->stack[1].depth = 8;
    TraceMove(&t->pos, M("d2d4"));
    PBlock.trace = 0;
    TraceMove(&t->pos, M("c2c4"));  // tracing off

    std::ifstream in("trace.txt");
    std::stringstream all;
    all << in.rdbuf();
    EXPECT_EQ(all.str(),
              "\n\nSEARCH DEPTH= 7\n"
              "( 7)e2e4 ( 6)e7e5 "
              "\n         ( 6)null "
              "\n\nSEARCH DEPTH= 8\n"
              "\n( 8)d2d4 ");
    FreeThreadRecord(t);
}

}  // namespace
