// Set-up for tests that run real searches: the evaluation tables, a table of
// a few megabytes, a pool of the wanted size, and helpers that start a search
// the way the top-level loop does and wait for it to end.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "board/attacks.h"
#include "board/movegen.h"
#include "eval/kpk.h"
#include "eval/params.h"
#include "search/info.h"
#include "search/iterate.h"
#include "search/params.h"
#include "search/pool.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "tests/test_util.h"

// Builds everything a search needs once, and a pool of `threads` threads
// (the old pool is ended first when its size differs).
inline void SetUpSearchEngine(int threads, int hash_mb = 8) {
    InitTestEnvironment();
    static bool once = false;
    if (!once) {
        once = true;
        InitKPK();
        SearchData.threads = 0;
        CTD->pos.owner = CTD;
        CTD->ply = 1;
        CTD->stack[0].list = CTD->stack[0].next = &CTD->move_store[0];
        CTD->stack[1].list = CTD->stack[1].next = &CTD->move_store[1];
        CTD->move_store[0].move = MOVE_END;
    }
    const bool have_pool = ThreadData[0] != nullptr;
    if (SearchData.threads != threads || have_pool != (threads > 0)) {
        KillThreadPool(128);  // every live pool thread, also one an earlier test forgot
        SearchData.threads = (uint8_t)threads;
        ASSERT_EQ(CreateThreadPool(threads), 0);
    }
    Personality.Threads = (int16_t)threads;
    Personality.Hash = (int16_t)hash_mb;
    Personality.UCI_Elo = 3000;
    Personality.UCI_LimitStrength = 0;
    Personality.MultiPV = 1;
    Personality.Ponder = 0;
    if (SearchData.hash_mb != hash_mb || !hashtable) {
        SearchData.hash_mb = (int16_t)hash_mb;
        ASSERT_EQ(HashInit(), 1);
    }
    SearchData.use_hash = 1;
    SearchData.target_nps = 1e9;
    SetSearchParams();
    SetEvalParams();
    Personality.params_changed = 0;
    PBlock.noise = 9999.0;  // silent unless a test asks for lines
    PBlock.uci = 1;
    SearchData.infinite = 0;
}

// Limits of one search: a fixed depth (and no clock) unless told otherwise.
inline void SetDepthLimit(int depth) {
    SearchData.limit_kind = 1;
    SearchData.depth_limit = (uint8_t)depth;
    SearchData.move_time = 1e7;
    SearchData.node_limit = 0;
    SearchData.infinite = 0;
}

// Prepares and wakes the pool for the game position, as the loop does.
inline void StartPoolSearch(const char* fen, int request = 1) {
    SetGamePosition(fen);
    CTD->game_ply = 0;
    SearchData.request = (uint8_t)request;
    PrepareNewSearch();
    SearchData.request = 0;
    StartSearch();
}

// Runs the time check every millisecond until the pool is idle (at most
// `seconds`); returns false when the pool was still busy then.
inline bool WaitForPool(double seconds = 120.0) {
    double until = GetTime() + seconds;
    while (ThreadsAreBusy()) {
        if (GetTime() > until) return false;
        SleepMs(1);
        SearchTimecheck();
    }
    SearchTimecheck();
    return true;
}

// Sets `stop` as the "stop" command does and waits for the pool.
inline void StopPool() {
    SearchData.stop = STOP_NORMAL;
    while (ThreadsAreBusy()) SleepMs(1);
}

inline std::string MoveText(Move m) {
    char buf[16];
    return MoveToStr(m, buf);
}

// The published best move as text.
inline std::string BestMove() { return MoveText(SearchData.pv[1].load()); }

// Whether a move is legal in the game position.
inline bool IsLegalInGame(Move m) {
    if (m == 0) return false;
    Position* pos = &CTD->pos;
    CTD->ply = 1;
    GenerateAll(pos);
    for (MoveEntry* e = CTD->stack[1].list; e->move != MOVE_END; e++)
        if (e->move == m) return MoveIsLegal(pos, pos->side, m) != 0;
    return false;
}
