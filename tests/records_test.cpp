// The search control record's start values and the copying of the game
// record into the pool threads' records.
#include <cstring>

#include "board/makemove.h"
#include "test_util.h"

namespace {

class Records : public BoardTest {};

TEST_F(Records, SearchDataStartValues) {
    InitSearchData();
    EXPECT_EQ(SearchData.use_hash, 1);
    EXPECT_EQ(SearchData.hash_age, 0);
    EXPECT_EQ(SearchData.request, 0);
    EXPECT_EQ(SearchData.node_limit, 0u);
    EXPECT_EQ(SearchData.depth_limit, 66);
    EXPECT_EQ(SearchData.limit_kind, 1);
    EXPECT_DOUBLE_EQ(SearchData.move_time, 5.0);
    EXPECT_DOUBLE_EQ(SearchData.wtime, 5.0);
    EXPECT_DOUBLE_EQ(SearchData.btime, 5.0);
    EXPECT_DOUBLE_EQ(SearchData.increment, 0.0);
    EXPECT_DOUBLE_EQ(SearchData.target_time, 1.0);
    EXPECT_DOUBLE_EQ(SearchData.target_nps, 1e9);
    EXPECT_EQ(SearchData.stop, STOP_NONE);
    EXPECT_EQ(SearchData.tb_result, -1);
}

TEST_F(Records, FreshRecordIsReadyForPositions) {
    ThreadRecord* t = AllocThreadRecord();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->pos.owner, t);
    EXPECT_EQ(t->ply, 1);
    EXPECT_EQ(t->game_ply, 0);
    EXPECT_EQ(t->move_store[0].move, MOVE_END);
    EXPECT_EQ(t->stack[0].list, &t->move_store[0]);
    EXPECT_EQ(t->stack[1].list, &t->move_store[1]);
    EXPECT_EQ(t->nodes.load(), 0u);
    FreeThreadRecord(t);
}

TEST_F(Records, InitSearchThreadsCopiesTheGame) {
    InitSearchData();
    ThreadRecord* game = CTD;
    SetGamePosition(START_FEN);
    const Move moves[] = {MakeMoveCode(12, 28), MakeMoveCode(52, 36), MakeMoveCode(6, 21)};
    for (Move m : moves) MakeMove(&game->pos, m);
    game->ply = 1;  // a search start sets the game record's ply back to the root

    ThreadRecord* pool[2] = {AllocThreadRecord(), AllocThreadRecord()};
    // Leftovers of an earlier search that must be cleared.
    for (ThreadRecord* t : pool) {
        t->undo[3].move = 0x1234;
        t->depth = 9;
        t->seldepth = 20;
        t->score = 77;
        t->null_depth = 2;
        t->nodes = 12345;
        t->hash_hits = 99;
        t->pv[1] = 0x0102;
        t->ply = 17;
        t->stack[0].node_type = 1;
        t->root_state = 2;
        t->done_depth = 8;
    }
    ThreadData[0] = pool[0];
    ThreadData[1] = pool[1];
    SearchData.threads = 2;
    SearchData.node_limit = 0;
    InitSearchThreads();
    for (ThreadRecord* t : pool) {
        EXPECT_EQ(t->pos.owner, t);
        Position copy = t->pos;
        copy.owner = game;
        EXPECT_EQ(memcmp(&copy, &game->pos, sizeof copy), 0);
        EXPECT_EQ(t->game_ply, 3);
        EXPECT_EQ(memcmp(t->undo, game->undo, 3 * sizeof(UndoEntry)), 0);
        EXPECT_EQ(t->undo[3].move, 0);
        EXPECT_EQ(t->last_move, moves[2]);
        EXPECT_EQ(t->node_limit, 0x4000000000000000ULL);
        EXPECT_EQ(t->move_store[0].move, MOVE_END);
        EXPECT_EQ(t->stack[0].list, &t->move_store[0]);
        EXPECT_EQ(t->stack[1].list, &t->move_store[1]);
        EXPECT_EQ(t->stack[0].node_type, 0);
        EXPECT_EQ(t->pv[1], 0);
        EXPECT_EQ(t->depth, 0);
        EXPECT_EQ(t->root_state, 0);
        EXPECT_EQ(t->done_depth, 0);
        EXPECT_EQ(t->seldepth, 0);
        EXPECT_EQ(t->score, 0);
        EXPECT_EQ(t->null_depth, 0);
        EXPECT_EQ(t->nodes.load(), 0u);
        EXPECT_EQ(t->hash_hits.load(), 0u);
        EXPECT_EQ(t->ply, 1);
        EXPECT_EQ(t->root_npm[WHITE], game->pos.npm[WHITE]);
        EXPECT_EQ(t->root_npm[BLACK], 2 * 3 + 2 * 3 + 2 * 5 + 10);
    }
    // A node limit is handed on as it is.
    SearchData.node_limit = 5000;
    InitSearchThreads();
    EXPECT_EQ(pool[1]->node_limit, 5000u);

    EXPECT_EQ(ThreadsAreBusy(), 0);
    pool[1]->command = 1;
    EXPECT_EQ(ThreadsAreBusy(), 1);
    pool[0]->command = 2;
    EXPECT_EQ(ThreadsAreBusy(), 2);
    // With no pool threads nothing is copied and nothing is busy.
    SearchData.threads = 0;
    EXPECT_EQ(ThreadsAreBusy(), 0);
    pool[0]->depth = 5;
    InitSearchThreads();
    EXPECT_EQ(pool[0]->depth, 5);

    ThreadData[0] = ThreadData[1] = nullptr;
    FreeThreadRecord(pool[0]);
    FreeThreadRecord(pool[1]);
    SetGamePosition(START_FEN);
}

}  // namespace
