// Time allocation, the time check's stopping rules and the search start.
#include <gtest/gtest.h>

#include <cmath>

#include "base/settings.h"
#include "search/records.h"
#include "search/timecontrol.h"
#include "tests/driver_test_util.h"
#include "uci/calibrate.h"

namespace {

// A game record and a settings state for allocation tests: white to move at
// the given game ply, no increment, reserve 50 ms, full strength, no ponder.
struct TimeFixture : ::testing::Test {
    ThreadRecord* saved_ctd = nullptr;
    void SetUp() override {
        InitControlBlock();
        InitSearchData();
        SetDefaultSettings();
        Personality = DefaultPersonality;
        Personality.UCI_Elo = 3000;
        saved_ctd = CTD;
        CTD = AllocThreadRecord();
        ASSERT_NE(CTD, nullptr);
        CTD->pos.side = WHITE;
        SearchData.limit_kind = 0;
        SearchData.increment = 0.0;
        SearchData.ponder = 0;
        SearchData.time_reserve = 0.05;
        SearchData.wtime = SearchData.btime = 60.0;
    }
    void TearDown() override {
        FreeThreadRecord(CTD);
        CTD = saved_ctd;
    }
    double Allocate(int ply) {
        CTD->game_ply = (int16_t)ply;
        AllocateTime();
        return SearchData.target_time;
    }
};

TEST_F(TimeFixture, SuddenDeathSplitsTheClockByGamePly) {
    EXPECT_DOUBLE_EQ(Allocate(0), 60.0 / 34);
    EXPECT_EQ(SearchData.movestogo, 33);
    EXPECT_DOUBLE_EQ(Allocate(2), 60.0 / 33);
    EXPECT_EQ(SearchData.movestogo, 32);
    EXPECT_DOUBLE_EQ(Allocate(21), 60.0 / 24);  // 33 - 10
    EXPECT_DOUBLE_EQ(Allocate(22), 60.0 / 24);
    EXPECT_DOUBLE_EQ(Allocate(150), 60.0 / 24);
    EXPECT_EQ(SearchData.movestogo, 23);
}

TEST_F(TimeFixture, IncrementAddsItsShareAndTheCapHolds) {
    SearchData.increment = 1.0;
    // 60 / 24 + 1 * 60 / 62 = 3.4677 s
    EXPECT_NEAR(Allocate(40), 3.467742, 1e-6);
    // A small clock with a big increment is capped at 0.65 x clock - 5 x reserve.
    SearchData.wtime = 10.0;
    SearchData.increment = 5.0;
    SearchData.time_reserve = 1.0;
    EXPECT_DOUBLE_EQ(Allocate(40), 0.65 * 10.0 - 5.0);
    // The reserve counts in full in the cap (MoveOverhead 1000 ms reserves 5 s).
    SearchData.wtime = 60.0;
    SearchData.increment = 0.0;
    SearchData.time_reserve = 1.0;
    EXPECT_DOUBLE_EQ(Allocate(40), 2.5);
    SearchData.wtime = 8.0;
    EXPECT_DOUBLE_EQ(Allocate(40), 0.65 * 8.0 - 5.0);
}

TEST_F(TimeFixture, BlackUsesItsOwnClock) {
    CTD->pos.side = BLACK;
    SearchData.btime = 24.0;
    EXPECT_DOUBLE_EQ(Allocate(41), 1.0);
}

TEST_F(TimeFixture, PonderAndWeakStrengthScaleTheShare) {
    SearchData.ponder = 1;
    EXPECT_DOUBLE_EQ(Allocate(40), 60.0 / 24 * 1.3);
    Personality.UCI_Elo = 2399;
    EXPECT_DOUBLE_EQ(Allocate(40), 60.0 / 24 * 1.3 * 0.85);
    SearchData.ponder = 0;
    EXPECT_DOUBLE_EQ(Allocate(40), 60.0 / 24 * 0.85);
}

TEST_F(TimeFixture, MovesToGoFromTheInterface) {
    PBlock.uci = 1;
    SearchData.limit_kind = 40;
    SearchData.ponder = 1;
    SearchData.wtime = 30.0;
    SearchData.movestogo = 10;
    EXPECT_DOUBLE_EQ(Allocate(40), 30.0 / 11 * 1.3);
    // Two or fewer moves to go: no ponder bonus.
    SearchData.movestogo = 2;
    EXPECT_DOUBLE_EQ(Allocate(40), 10.0);
    SearchData.movestogo = 1;
    EXPECT_DOUBLE_EQ(Allocate(40), 15.0);
    EXPECT_EQ(SearchData.movestogo, 1);
}

TEST_F(TimeFixture, MovesPerControlInTheConsole) {
    PBlock.uci = 0;
    SearchData.limit_kind = 40;
    Allocate(10);  // 40 - (5 mod 40)
    EXPECT_EQ(SearchData.movestogo, 35);
    EXPECT_DOUBLE_EQ(SearchData.target_time, 60.0 / 36);
    Allocate(78);  // 40 - 39: one move left, no ponder bonus
    EXPECT_EQ(SearchData.movestogo, 1);
}

TEST_F(TimeFixture, FixedTimeSetsTheClockToo) {
    SearchData.limit_kind = 1;
    SearchData.move_time = 2.5;
    SearchData.increment = 3.0;
    EXPECT_DOUBLE_EQ(Allocate(40), 2.5);
    EXPECT_DOUBLE_EQ(SearchData.wtime, 2.5);
    EXPECT_DOUBLE_EQ(SearchData.btime, 60.0);
}

TEST_F(TimeFixture, DegenerateClocksGiveAFinitePositiveTime) {
    PBlock.uci = 1;
    SearchData.limit_kind = 40;
    for (int mtg : {0, -1, -300}) {
        SearchData.movestogo = (int16_t)mtg;
        double t = Allocate(40);
        EXPECT_TRUE(std::isfinite(t)) << "movestogo " << mtg;
        EXPECT_GT(t, 0.0) << "movestogo " << mtg;
        EXPECT_LE(t, 0.65 * 60.0) << "movestogo " << mtg;
    }
    SearchData.limit_kind = 0;
    SearchData.wtime = 0.0;
    EXPECT_DOUBLE_EQ(Allocate(40), 0.002);
    SearchData.increment = 0.5;
    EXPECT_DOUBLE_EQ(Allocate(40), 0.002);
    SearchData.time_reserve = 0.0;
    SearchData.wtime = -3.0;
    SearchData.increment = 0.0;
    EXPECT_DOUBLE_EQ(Allocate(40), 0.002);
    SearchData.wtime = 12.0;
    EXPECT_DOUBLE_EQ(Allocate(40), 0.5);
}

// The time check, with the elapsed time simulated by moving the start back.
struct TimecheckFixture : TimeFixture {
    ThreadRecord* saved[4] = {};
    uint8_t saved_threads = 0;
    void SetUp() override {
        TimeFixture::SetUp();
        saved_threads = SearchData.threads;
        for (int i = 0; i < 4; i++) {
            saved[i] = ThreadData[i];
            ThreadData[i] = AllocThreadRecord();
            ThreadData[i]->thread_index = (uint8_t)i;
        }
        SearchData.threads = 4;
        SearchData.search_mode = 1;
        SearchData.stop = 0;
        SearchData.limit_kind = 0;
        SearchData.wtime = 100.0;
        SearchData.target_time = 5.0;
        SearchData.time_reserve = 0.05;
        SearchData.depth = 8;
        for (auto& s : SearchData.depth_score) s = -10001;
        SearchData.depth_score[7] = 100;
        SearchData.best_score = 100;
        SearchData.pv[1] = 0x0C1C;
        SearchData.change_depth = 5;  // stable: no stability bonus at depth 8
        SearchData.single_reply = 0;
    }
    void TearDown() override {
        for (int i = 0; i < 4; i++) {
            FreeThreadRecord(ThreadData[i]);
            ThreadData[i] = saved[i];
        }
        SearchData.threads = saved_threads;
        TimeFixture::TearDown();
    }
    // Runs the check as if `seconds` had passed; returns the stop value.
    int CheckAt(double seconds) {
        SearchData.stop = 0;
        search_start = GetTime() - seconds;
        SearchTimecheck();
        return SearchData.stop;
    }
};

TEST_F(TimecheckFixture, StopsAtTheTargetTime) {
    EXPECT_EQ(CheckAt(3.0), 0);
    EXPECT_EQ(CheckAt(5.5), STOP_NORMAL);
    EXPECT_NEAR(SearchData.elapsed.load(), 5.5, 0.5);
    SearchData.search_mode = 3;  // console search
    EXPECT_EQ(CheckAt(5.5), STOP_CONSOLE);
}

TEST_F(TimecheckFixture, NoDecisionEarlyOrWhilePondering) {
    SearchData.depth = 1;
    EXPECT_EQ(CheckAt(50.0), 0);
    SearchData.depth = 8;
    SearchData.target_time = 0.0;
    search_start = GetTime() + 1000.0;  // the first 15 ms of a search
    SearchData.stop = 0;
    SearchTimecheck();
    EXPECT_EQ(SearchData.stop, 0);
    SearchData.search_mode = 2;
    EXPECT_EQ(CheckAt(50.0), 0);
    SearchData.search_mode = 1;
    SearchData.infinite = 1;
    EXPECT_EQ(CheckAt(50.0), 0);
    SearchData.single_reply = 1;
    EXPECT_EQ(CheckAt(50.0), 0);
    SearchData.infinite = 0;
    SearchData.single_reply = 0;
    EXPECT_EQ(CheckAt(50.0), STOP_NORMAL);
}

TEST_F(TimecheckFixture, FallingScoreExtendsByShareOfRemainingClock) {
    // Previous score 100: m = 21, M = 84. A drop to 15 gives 24 % of the
    // remaining clock: at 10 s, 5 + 0.24 x 90 - 0.025 = 26.575 s.
    SearchData.best_score = 15;
    // The limit shrinks as the clock runs: the search ends at about 23.4 s.
    EXPECT_EQ(CheckAt(10.0), 0);
    EXPECT_EQ(CheckAt(23.0), 0);
    EXPECT_EQ(CheckAt(24.0), STOP_NORMAL);
    // A drop to 57 (below 100 - 2m): 10 %: 5 + 0.1 x 90 - 0.025 at 10 s.
    SearchData.best_score = 57;
    EXPECT_EQ(CheckAt(10.0), 0);
    EXPECT_EQ(CheckAt(15.0), STOP_NORMAL);
    // A drop to 78 (below 100 - m): 4 %.
    SearchData.best_score = 78;
    EXPECT_EQ(CheckAt(8.0), 0);
    EXPECT_EQ(CheckAt(9.5), STOP_NORMAL);
    // At iterations below 4 the percentage is halved: 24 -> 12.
    SearchData.depth = 3;
    SearchData.depth_score[2] = 100;
    SearchData.best_score = 15;
    EXPECT_EQ(CheckAt(10.0), 0);
    EXPECT_EQ(CheckAt(16.0), STOP_NORMAL);
}

// The bands of a falling score, each pinned from both sides: with the previous
// iteration's score p and a = |p|, m = a / 16 + 15 and M = 4m below 960, else
// 75 and 300. A published score below p - M extends by 24 % of the remaining
// clock, below p - 2m by 10 %, below p - m by 4 %; at p - m itself nothing.
TEST_F(TimecheckFixture, ScoreDropBandsArePinnedFromBothSides) {
    // The limit with 100 s on the clock and a 5 s target: 4.975 s without an
    // extension, 8.63 s with 4 %, 13.61 s with 10 %, 23.37 s with 24 %.
    auto extension = [&]() {
        if (CheckAt(7.0)) return 0;
        if (CheckAt(12.0)) return 4;
        if (CheckAt(20.0)) return 10;
        if (CheckAt(25.0)) return 24;
        return -1;  // not stopped even at 25 s
    };
    struct Row {
        int previous, best, percent;
    } rows[] = {
        // p 100: m 21, M 84; bands below 79, 58 and 16.
        {100, 300, 0}, {100, 79, 0}, {100, 78, 4}, {100, 58, 4}, {100, 57, 10}, {100, 16, 10}, {100, 15, 24},
        // p 500: m 31 + 15 = 46, M 184; bands below 454, 408 and 316.
        {500, 454, 0}, {500, 453, 4}, {500, 408, 4}, {500, 407, 10}, {500, 316, 10}, {500, 315, 24},
        // p -300: m 18 + 15 = 33, M 132; bands below -333, -366 and -432.
        {-300, -333, 0}, {-300, -334, 4}, {-300, -366, 4}, {-300, -367, 10}, {-300, -432, 10}, {-300, -433, 24},
        // p 2000: m 75, M 300; bands below 1925, 1850 and 1700.
        {2000, 1925, 0}, {2000, 1924, 4}, {2000, 1850, 4}, {2000, 1849, 10}, {2000, 1700, 10}, {2000, 1699, 24},
    };
    for (const Row& r : rows) {
        SearchData.depth_score[7] = r.previous;
        SearchData.best_score = r.best;
        EXPECT_EQ(extension(), r.percent) << "previous score " << r.previous << ", now " << r.best
                                          << ": wrong share of the remaining clock (percent)";
    }
}

TEST_F(TimecheckFixture, ThreadsFailingLowOrHighExtend) {
    // The master re-searching the best move after a fail low: 24 %.
    ThreadData[0]->depth = 8;
    ThreadData[0]->pv[1] = 0x0C1C;
    ThreadData[0]->score = 60;
    ThreadData[0]->root_state = 1;
    EXPECT_EQ(CheckAt(10.0), 0);
    EXPECT_EQ(CheckAt(23.0), 0);
    EXPECT_EQ(CheckAt(24.0), STOP_NORMAL);
    // A helper in the same state: 16 %.
    ThreadData[0]->root_state = 0;
    ThreadData[2]->depth = 9;
    ThreadData[2]->pv[1] = 0x0C1C;
    ThreadData[2]->score = 60;
    ThreadData[2]->root_state = 1;
    EXPECT_EQ(CheckAt(10.0), 0);
    EXPECT_EQ(CheckAt(17.5), 0);
    EXPECT_EQ(CheckAt(18.5), STOP_NORMAL);
    // A helper that is not yet at the master's iteration does not count.
    ThreadData[2]->depth = 7;
    EXPECT_EQ(CheckAt(6.0), STOP_NORMAL);
    // Another move scoring more than 25 above the published one: 4 %.
    ThreadData[3]->depth = 8;
    ThreadData[3]->pv[1] = 0x0D1D;
    ThreadData[3]->score = 130;
    EXPECT_EQ(CheckAt(8.0), 0);
    EXPECT_EQ(CheckAt(9.5), STOP_NORMAL);
}

TEST_F(TimecheckFixture, StabilityOfTheBestMove) {
    // Best move changed at this iteration: +2 %; at the one before: +1 %.
    SearchData.change_depth = 8;
    EXPECT_EQ(CheckAt(6.7), 0);  // 5 + 0.02 x 93.3 = 6.87
    EXPECT_EQ(CheckAt(7.0), STOP_NORMAL);
    SearchData.change_depth = 7;
    EXPECT_EQ(CheckAt(5.8), 0);  // 5 + 0.01 x 94.2 = 5.94
    EXPECT_EQ(CheckAt(6.0), STOP_NORMAL);
    // Unchanged for many iterations after half the target: -2 %.
    SearchData.depth = 16;
    SearchData.depth_score[15] = 100;
    SearchData.change_depth = 3;
    EXPECT_EQ(CheckAt(2.4), 0);  // not yet half the target time
    EXPECT_EQ(CheckAt(3.2), STOP_NORMAL);  // 5 - 0.02 x 96.8 = 3.06
}

TEST_F(TimecheckFixture, SingleReplyStopsAfterIterationFive) {
    SearchData.single_reply = 1;
    SearchData.depth = 5;
    SearchData.depth_score[4] = 100;
    EXPECT_EQ(CheckAt(0.5), STOP_NORMAL);
    SearchData.depth = 4;
    SearchData.depth_score[3] = 100;
    EXPECT_EQ(CheckAt(0.5), 0);
}

TEST_F(TimecheckFixture, NearlySpentClockStopsAtOnce) {
    SearchData.wtime = 0.2;
    SearchData.target_time = 50.0;
    EXPECT_EQ(CheckAt(0.02), 0);            // 5 x 0.025 below the 0.18 s left
    EXPECT_EQ(CheckAt(0.1), STOP_NORMAL);   // but above the 0.1 s left
    // With a few milliseconds on the clock the search does not wait for its
    // first 15 ms (sudden death would be lost on time).
    SearchData.wtime = 0.02;
    EXPECT_EQ(CheckAt(0.002), STOP_NORMAL);
    SearchData.depth = 1;
    EXPECT_EQ(CheckAt(0.002), 0) << "the second iteration is still awaited";
}

TEST_F(TimecheckFixture, MoveTimeIsNeverExceeded) {
    SearchData.limit_kind = 1;
    SearchData.move_time = 3.0;
    CTD->game_ply = 40;
    AllocateTime();
    // Even with the largest extension the limit meets the move time.
    ThreadData[0]->depth = 8;
    ThreadData[0]->pv[1] = 0x0C1C;
    ThreadData[0]->score = 60;
    ThreadData[0]->root_state = 1;
    SearchData.best_score = 15;
    EXPECT_EQ(CheckAt(2.5), 0);
    EXPECT_EQ(CheckAt(3.0001), STOP_NORMAL);
}

TEST(TimeControl, EffectiveBranchingFactor) {
    InitSearchData();
    SearchData.last_depth = 5;
    EXPECT_DOUBLE_EQ(EffectiveBranchingFactor(), 2.0);
    SearchData.last_depth = 9;
    SearchData.depth_nodes[9] = 81000;
    SearchData.depth_nodes[5] = 0;
    EXPECT_DOUBLE_EQ(EffectiveBranchingFactor(), 2.0);
    SearchData.depth_nodes[5] = 1000;
    EXPECT_NEAR(EffectiveBranchingFactor(), 3.0, 1e-12);
}

// The search start, on the game record with a real table.
struct PrepareFixture : ::testing::Test {
    void SetUp() override {
        SetUpSearchEngine(1, 2);
        SetGamePosition(START_FEN);
        SearchData.limit_kind = 0;
        SearchData.wtime = SearchData.btime = 60.0;
        SearchData.increment = 0.0;
    }
};

TEST_F(PrepareFixture, ResetsThePublishedResultAndTheLimits) {
    SearchData.pv[1] = 0x0C1C;
    SearchData.stop = STOP_NORMAL;
    SearchData.best_score = 77;
    SearchData.best_depth = 9;
    SearchData.depth = 9;
    SearchData.last_depth = 8;
    SearchData.change_depth = 3;
    SearchData.single_reply = 1;
    SearchData.depth_score[5] = 3;
    SearchData.depth_move[5] = 0x0C1C;
    SearchData.depth_nodes[5] = 9;
    SearchData.elapsed = 4.0;
    SearchData.request = 2;
    Personality.MoveOverhead = 120;
    Personality.MultiPV = 4;
    Personality.Ponder = 1;
    PrepareNewSearch();
    EXPECT_EQ(SearchData.pv[1], 0);
    EXPECT_EQ(SearchData.stop, 0);
    EXPECT_EQ(SearchData.best_score, -10000);
    EXPECT_EQ(SearchData.best_depth, 0);
    EXPECT_EQ(SearchData.depth, 0);
    EXPECT_EQ(SearchData.last_depth, 0);
    EXPECT_EQ(SearchData.change_depth, 0);
    EXPECT_EQ(SearchData.single_reply, 0);
    for (int d = 0; d < MAX_PLY + 2; d++) {
        EXPECT_EQ(SearchData.depth_score[d], -10001);
        EXPECT_EQ(SearchData.depth_move[d], 0);
        EXPECT_EQ(SearchData.depth_nodes[d], 0u);
    }
    EXPECT_EQ(SearchData.elapsed, 0.0);
    EXPECT_EQ(SearchData.search_mode, 2);
    EXPECT_DOUBLE_EQ(SearchData.time_reserve, 0.12);
    EXPECT_EQ(SearchData.multipv, 4);
    EXPECT_EQ(SearchData.ponder, 1);
    EXPECT_EQ(SearchData.root_side, WHITE);
    EXPECT_DOUBLE_EQ(SearchData.target_time, 60.0 / 34 * 1.3);
}

TEST_F(PrepareFixture, TableAgeRunsFromOneToFifteen) {
    SearchData.hash_age = 0;
    PrepareNewSearch();
    EXPECT_EQ(SearchData.hash_age, 1);
    SearchData.hash_age = 14;
    PrepareNewSearch();
    EXPECT_EQ(SearchData.hash_age, 15);
    PrepareNewSearch();
    EXPECT_EQ(SearchData.hash_age, 1);
}

TEST_F(PrepareFixture, ResizedTableIsUsedAgainAndClean) {
    Personality.Hash = 0;
    PrepareNewSearch();
    EXPECT_EQ(SearchData.hash_mb, 0);
    EXPECT_EQ(SearchData.use_hash, 0);
    Personality.Hash = 1;
    PrepareNewSearch();
    EXPECT_EQ(SearchData.hash_mb, 1);
    EXPECT_EQ(SearchData.use_hash, 1);
    ASSERT_EQ(HashSlots(), 65536u + 16u);
    uint64_t dirty = 0;
    for (uint64_t i = 0; i < HashSlots(); i++) dirty += (hashtable[i].w[0] | hashtable[i].w[1]) != 0;
    EXPECT_EQ(dirty, 0u);
    // A tool that switched the table off keeps it off while Hash is unchanged.
    SearchData.use_hash = 0;
    PrepareNewSearch();
    EXPECT_EQ(SearchData.use_hash, 0);
}

TEST_F(PrepareFixture, StrengthLimitTarget) {
    SearchData.target_nps = 2500;
    Personality.UCI_LimitStrength = 0;
    PrepareNewSearch();
    EXPECT_EQ(SearchData.target_nps, 1e9);
    // Switched on again: the target comes back from the requested Elo.
    Personality.UCI_LimitStrength = 1;
    Personality.UCI_Elo = 2000;
    PrepareNewSearch();
    // The model gives 2000 Elo at 689.97 nodes per second; the search for the
    // speed stops within half an Elo point, that is within 2.6 nodes per second.
    EXPECT_NEAR(SearchData.target_nps, 689.97, 2.7) << "the speed for 2000 Elo";
    EXPECT_LT(SearchData.target_nps, 1e9);
    // A target set directly stays; one of 10 or less is raised to the floor.
    SearchData.target_nps = 4000;
    PrepareNewSearch();
    EXPECT_EQ(SearchData.target_nps, 4000);
    for (double bad : {10.0, 5.0, 0.0, -20.0}) {
        SearchData.target_nps = bad;
        PrepareNewSearch();
        EXPECT_EQ(SearchData.target_nps, MIN_MODEL_NPS) << bad;
    }
}

TEST_F(PrepareFixture, ChangedSettingsRebuildTheTablesOnce) {
    Personality.params_changed = 1;
    testing::internal::CaptureStdout();
    PrepareNewSearch();
    PrepareNewSearch();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "info string setting search and eval params...\n");
    EXPECT_EQ(Personality.params_changed, 0);
}

TEST_F(PrepareFixture, ConsoleShowsTheAllocation) {
    PBlock.uci = 0;
    PBlock.noise = 0.0;
    testing::internal::CaptureStdout();
    PrepareNewSearch();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -\n"
              "Ply= 0, cnt50= 0, Clock= 60.00s, Target time= 1.76s\n");
    PBlock.uci = 1;  // in UCI mode the lines go to the log only
    testing::internal::CaptureStdout();
    PrepareNewSearch();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
