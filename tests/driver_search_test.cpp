// The search of one "go" seen from the pool: the master's iterations and
// their end rules, the helpers, the root without moves, the published result.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "tests/driver_test_util.h"
#include "tests/tablebase_test_util.h"

namespace {

const char* const ITALIAN = "r1bqkbnr/pppp1ppp/2n5/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R b KQkq -";
const char* const KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";
const char* const MATE_IN_ONE = "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq -";
// Black has one legal move (Ka7) and is mated by Ra1 next.
const char* const MATED_IN_ONE = "k7/2K5/8/8/8/8/8/1R6 b - -";

TEST(PoolSearch, FixedDepthGivesALegalMoveWithOneOrSeveralThreads) {
    for (int threads : {1, 3}) {
        for (const char* fen : {START_FEN, ITALIAN, KIWIPETE}) {
            SetUpSearchEngine(threads);
            SetDepthLimit(6);
            StartPoolSearch(fen);
            ASSERT_TRUE(WaitForPool());
            EXPECT_TRUE(IsLegalInGame(SearchData.pv[1])) << fen << ": " << BestMove();
            EXPECT_EQ(SearchData.best_depth, 6) << fen;
            EXPECT_EQ(SearchData.last_depth, 6) << fen;
            EXPECT_EQ(SearchData.stop, STOP_NORMAL) << fen;
            EXPECT_EQ(SearchData.depth_move[6], SearchData.pv[1]);
            if (threads == 1) {
                EXPECT_GT(SearchData.depth_nodes[6], SearchData.depth_nodes[1]);
            }
            EXPECT_EQ(SearchData.single_reply, 0);
        }
    }
}

TEST(PoolSearch, MateInOneEndsTheIterationsAtOnce) {
    SetUpSearchEngine(2);
    SetDepthLimit(30);
    StartPoolSearch(MATE_IN_ONE);
    ASSERT_TRUE(WaitForPool());
    EXPECT_EQ(BestMove(), "h5f7");
    EXPECT_EQ(SearchData.best_score, 9998);
    EXPECT_EQ(SearchData.last_depth, 1);
}

TEST(PoolSearch, MatedInOneIsReportedAsMateMinusOne) {
    SetUpSearchEngine(1);
    SetDepthLimit(30);
    PBlock.noise = 0.0;
    testing::internal::CaptureStdout();
    StartPoolSearch(MATED_IN_ONE);
    bool idle = WaitForPool();
    Collect();
    DisplaySearchInfo(0, 1, SearchData.best_depth, SearchData.best_score, SearchData.pv);
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(idle);
    EXPECT_EQ(BestMove(), "a8a7");
    EXPECT_EQ(SearchData.single_reply, 1);
    EXPECT_EQ(SearchData.best_score, -9997);
    EXPECT_LE(SearchData.last_depth, 3);
    std::string last = out.substr(out.rfind("info depth"));
    EXPECT_NE(last.find("score mate -1 "), std::string::npos) << out;
    EXPECT_NE(last.find(" pv a8a7 b1a1\n"), std::string::npos) << out;
}

TEST(PoolSearch, RootWithoutLegalMove) {
    SetUpSearchEngine(2);
    SetDepthLimit(10);
    // Checkmated (fool's mate) and stalemated.
    StartPoolSearch("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq -");
    ASSERT_TRUE(WaitForPool());
    EXPECT_EQ(SearchData.stop, STOP_NO_MOVES);
    EXPECT_EQ(SearchData.pv[1], 0);
    EXPECT_EQ(SearchData.best_score, -9999);
    EXPECT_EQ(SearchData.best_depth, 1);
    StartPoolSearch("7k/5Q2/6K1/8/8/8/8/8 b - -");
    ASSERT_TRUE(WaitForPool());
    EXPECT_EQ(SearchData.stop, STOP_NO_MOVES);
    EXPECT_EQ(SearchData.pv[1], 0);
    EXPECT_EQ(SearchData.best_score, 0);
}

TEST(PoolSearch, DepthZeroGivesOnlyAQuiescenceScore) {
    SetUpSearchEngine(2);
    SetDepthLimit(0);
    // White to move wins a queen left en prise.
    StartPoolSearch("rnb1kbnr/pppp1ppp/8/4p3/4P2q/5N2/PPPP1PPP/RNBQKB1R w KQkq -");
    ASSERT_TRUE(WaitForPool());
    EXPECT_EQ(SearchData.pv[1], 0);  // no move is published
    EXPECT_GT(SearchData.best_score, 500);
    EXPECT_EQ(SearchData.stop, STOP_NORMAL);
}

TEST(PoolSearch, InfiniteSearchHoldsItsResultUntilStop) {
    SetUpSearchEngine(2);
    SetDepthLimit(66);
    SearchData.infinite = 1;
    // The mate is found at once, but an infinite search waits for "stop";
    // so does one with a single reply.
    for (const char* fen : {MATE_IN_ONE, MATED_IN_ONE, "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq -"}) {
        StartPoolSearch(fen);
        SleepMs(150);
        for (int i = 0; i < 50; i++) {
            SleepMs(1);
            SearchTimecheck();
        }
        EXPECT_GT(ThreadsAreBusy(), 0) << fen;
        EXPECT_EQ(SearchData.stop, 0) << fen;
        StopPool();
        EXPECT_EQ(ThreadsAreBusy(), 0);
    }
    EXPECT_EQ(SearchData.pv[1], 0);  // the mated root answers the null move
    SearchData.infinite = 0;
}

TEST(PoolSearch, EarlyStopStillLeavesALegalMove) {
    SetUpSearchEngine(3);
    SetDepthLimit(66);
    for (const char* fen : {START_FEN, KIWIPETE, MATED_IN_ONE}) {
        SetGamePosition(fen);
        SearchData.request = 1;
        PrepareNewSearch();
        SearchData.request = 0;
        SearchData.stop = STOP_NORMAL;  // "stop" before the threads even woke
        StartSearch();
        ASSERT_TRUE(WaitForPool());
        EXPECT_TRUE(IsLegalInGame(SearchData.pv[1])) << fen << ": " << BestMove();
    }
}

TEST(PoolSearch, HelpersSearchBesideTheMaster) {
    SetUpSearchEngine(4);
    SetDepthLimit(11);
    StartPoolSearch(KIWIPETE);
    ASSERT_TRUE(WaitForPool());
    EXPECT_TRUE(IsLegalInGame(SearchData.pv[1]));
    for (int i = 0; i < 4; i++) {
        EXPECT_GT(ThreadData[i]->nodes, 0u) << "thread " << i;
        EXPECT_GE(ThreadData[i]->depth, 2) << "thread " << i;
    }
    // The helpers' node counts are part of the per-depth sums.
    uint64_t master_nodes = ThreadData[0]->nodes;
    Collect();
    EXPECT_GT(SearchData.nodes, master_nodes);
}

TEST(PoolSearch, MultiPvReportsEveryLine) {
    SetUpSearchEngine(1);
    Personality.MultiPV = 3;
    SetDepthLimit(5);
    PBlock.noise = 0.0;
    testing::internal::CaptureStdout();
    StartPoolSearch(ITALIAN);
    bool idle = WaitForPool();
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(idle);
    std::set<std::string> first_moves;
    for (int k = 1; k <= 3; k++) {
        std::string head = "info multipv " + std::to_string(k) + " depth 5 ";
        size_t at = out.find(head);
        ASSERT_NE(at, std::string::npos) << out;
        size_t pv = out.find(" pv ", at);
        first_moves.insert(out.substr(pv + 4, 4));
    }
    EXPECT_EQ(first_moves.size(), 3u) << out;
    EXPECT_EQ(out.find("info depth"), std::string::npos) << out;  // no single-line reports
    EXPECT_TRUE(IsLegalInGame(SearchData.pv[1]));
}

TEST(PoolSearch, SearchIterationsRunsOnTheCallingThread) {
    SetUpSearchEngine(2);
    SetDepthLimit(5);
    SetGamePosition(ITALIAN);
    PrepareNewSearch();
    SearchIterations();
    EXPECT_EQ(ThreadsAreBusy(), 0);
    EXPECT_TRUE(IsLegalInGame(SearchData.pv[1])) << BestMove();
    EXPECT_EQ(SearchData.best_depth, 5);
    EXPECT_GT(ThreadData[0]->nodes, 0u);
    EXPECT_EQ(ThreadData[1]->nodes, 0u);  // the helper stayed idle
}

TEST(PoolSearch, StrengthLimitKeepsEachThreadAtTheTargetRate) {
    SetUpSearchEngine(2);
    Personality.UCI_LimitStrength = 1;
    SearchData.target_nps = 3000;
    SearchData.limit_kind = 1;
    SearchData.move_time = 0.8;
    SearchData.depth_limit = 66;
    SearchData.node_limit = 0;
    StartPoolSearch(START_FEN);
    ASSERT_TRUE(WaitForPool());
    const double elapsed = SearchData.elapsed;
    EXPECT_GE(elapsed, 0.7);
    EXPECT_TRUE(IsLegalInGame(SearchData.pv[1]));
    // A thread only goes on while it is not faster than the target; the
    // first iteration, which is not throttled, takes a few dozen nodes.
    for (int i = 0; i < 2; i++) {
        const double rate = ThreadData[i]->nodes / elapsed;
        EXPECT_LE(rate, 3000 * 1.02 + 200) << "thread " << i;
    }
    Personality.UCI_LimitStrength = 0;
}

// ---------------------------------------------------------------------------
// Endgame tables in the search.

// Starts a pool search of a position whose fifty-move counter stands at fifty.
void StartTableSearch(const char* fen, int fifty) {
    SetGamePosition(fen);
    CTD->pos.fifty = (uint8_t)fifty;
    CTD->game_ply = 0;
    SearchData.request = 1;
    PrepareNewSearch();
    SearchData.request = 0;
    StartSearch();
}

// The move and class the root probe gives for a position and counter.
Move TableMove(const char* fen, int fifty, int* cls) {
    Position* pos = EnginePosition(fen);
    pos->fifty = (uint8_t)fifty;
    uint32_t dtz = 0;
    Move m = 0;
    *cls = TB_Probe_DTZ(pos, cls, &dtz, &m);
    return m;
}

TEST(PoolSearch, TableMoveIsPlayedAtOnceFromTenPliesOfTheCounter) {
    REQUIRE_SYZYGY_DATA();
    SetUpSearchEngine(2);
    RegisterTables(SyzygyDir());
    struct Case {
        const char* fen;
        int cls, score;
    } cases[] = {
        {"8/8/8/4k3/8/8/8/R3K3 w - - 0 1", 4, 9799},     // KRvK, won
        {"8/8/8/3K4/8/7k/8/q7 w - - 0 1", 0, -9800},     // KQvK, lost
        {"8/8/3k4/8/3r4/8/8/R2K4 w - - 0 1", 2, 0},      // KRvKR, drawn
    };
    for (const Case& c : cases) {
        int cls = -1;
        const Move expected = TableMove(c.fen, 10, &cls);
        ASSERT_EQ(cls, c.cls) << c.fen;
        SetDepthLimit(30);
        StartTableSearch(c.fen, 10);
        ASSERT_TRUE(WaitForPool());
        EXPECT_EQ(SearchData.pv[1], expected) << c.fen;
        EXPECT_EQ(SearchData.pv[2], 0) << c.fen;
        EXPECT_EQ(SearchData.best_score, c.score) << c.fen;
        EXPECT_EQ(SearchData.best_depth, 99) << c.fen;
        EXPECT_EQ(SearchData.tb_result, c.cls) << c.fen;
        EXPECT_EQ(SearchData.stop, STOP_NORMAL) << c.fen;
        EXPECT_EQ(ThreadData[0]->nodes, 0u) << c.fen << ": nothing searched";
        // Nine plies on the counter: an ordinary search, the table class still reported.
        SetDepthLimit(6);
        StartTableSearch(c.fen, 9);
        ASSERT_TRUE(WaitForPool());
        EXPECT_EQ(SearchData.best_depth, 6) << c.fen;
        EXPECT_GT(ThreadData[0]->nodes, 0u) << c.fen;
        EXPECT_EQ(SearchData.tb_result, c.cls) << c.fen;
        EXPECT_TRUE(IsLegalInGame(SearchData.pv[1])) << c.fen;
    }
    RegisterTables("");
}

TEST(PoolSearch, TableWinIsShownAsItsScoreInTheInfoLine) {
    REQUIRE_SYZYGY_DATA();
    SetUpSearchEngine(1);
    RegisterTables(SyzygyDir());
    SetDepthLimit(30);
    PBlock.noise = 0.0;
    testing::internal::CaptureStdout();
    StartTableSearch("8/8/8/4k3/8/8/8/R3K3 w - - 0 1", 12);
    const bool idle = WaitForPool();
    Collect();
    DisplaySearchInfo(0, 1, SearchData.best_depth, SearchData.best_score, SearchData.pv);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(idle);
    const std::string last = out.substr(out.rfind("info depth"));
    // The master scores the move 9799; the line shows a table win as 9800.
    EXPECT_EQ(SearchData.best_score, 9799);
    EXPECT_EQ(last.compare(0, 40, "info depth 99 seldepth 98 score cp 9800 "), 0) << out;
    EXPECT_NE(last.find(" tbhits 1 "), std::string::npos) << out;
    RegisterTables("");
}

TEST(PoolSearch, NodesInsideTheTablesAreScoredFromThem) {
    REQUIRE_SYZYGY_DATA();
    // Five pieces: no table for the root, but Qxd5+ Kxd5 leaves a won KRvK.
    const char* fen = "8/8/8/3rk3/8/8/3Q4/4K2R w - - 0 1";
    SetUpSearchEngine(1);
    RegisterTables(SyzygyDir());
    SetDepthLimit(4);
    StartTableSearch(fen, 0);
    ASSERT_TRUE(WaitForPool());
    EXPECT_EQ(SearchData.tb_result, -1) << "five pieces: no table at the root";
    EXPECT_GT(SearchData.best_score, 9700) << "a table win a few plies down";
    EXPECT_LT(SearchData.best_score, 9800);
    Collect();
    EXPECT_GT(SearchData.tb_hits, 0u);
    // Probes gated off by depth: the same search scores by evaluation only.
    Personality.SyzygyProbeDepth5 = 100;
    StartTableSearch(fen, 0);
    ASSERT_TRUE(WaitForPool());
    Collect();
    EXPECT_EQ(SearchData.tb_hits, 0u);
    EXPECT_LT(SearchData.best_score, 9000);
    Personality.SyzygyProbeDepth5 = DefaultPersonality.SyzygyProbeDepth5;
    RegisterTables("");
}

}  // namespace
