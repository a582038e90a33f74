#include "search/records.h"

#include <cstring>
#include <initializer_list>
#include <new>

SearchDataRecord SearchData;
ThreadRecord* ThreadData[128];
ThreadRecord* CTD = nullptr;
SpinLock spinlock2, spinlock3;

void InitSearchData() {
    SearchDataRecord& sd = SearchData;
    sd.use_hash = 1;
    sd.hash_age = 0;
    sd.search_mode = 0;
    sd.request = 0;
    sd.node_limit = 0;
    sd.depth_limit = 66;
    sd.limit_kind = 1;
    sd.move_time = 5.0;
    sd.increment = 0.0;
    sd.wtime = 5.0;
    sd.btime = 5.0;
    sd.target_time = 1.0;
    sd.elapsed = 0.0;
    sd.stop = STOP_NONE;
    sd.calibration_nps = 0.0;
    sd.target_nps = 1e9;
    sd.tb_result = -1;
    sd.tb_move = 0;
}

ThreadRecord* AllocThreadRecord() {
    // Value-initialisation zero-fills the whole record.
    ThreadRecord* t = new (std::nothrow) ThreadRecord();
    if (!t) return nullptr;
    // Ready for positions and move lists: the position knows its record, the
    // root is ply 1, and the move store starts with the end marker in front
    // of the root's list.
    t->pos.owner = t;
    t->pos.ep = NO_SQ;
    t->ply = 1;
    t->move_store[0].move = MOVE_END;
    t->stack[0].list = t->stack[0].next = &t->move_store[0];
    t->stack[1].list = t->stack[1].next = &t->move_store[1];
    return t;
}

void FreeThreadRecord(ThreadRecord* t) { delete t; }

void InitSearchThreads() {
    int n = SearchData.threads;
    const ThreadRecord* g = CTD;
    for (int i = 0; i < n; i++) {
        ThreadRecord* t = ThreadData[i];
        if (!t) continue;
        t->pos = g->pos;
        t->pos.owner = t;
        if (g->game_ply > 0) memcpy(t->undo, g->undo, sizeof(UndoEntry) * g->game_ply);
        t->game_ply = g->game_ply;
        t->last_move = g->last_move;
        t->undo[t->game_ply].move = 0;
        t->node_limit = SearchData.node_limit ? SearchData.node_limit : 0x4000000000000000ULL;
        t->move_store[0].move = MOVE_END;
        t->move_store[0].piece = 0;
        t->move_store[0].captured = 0;
        t->stack[0].list = t->stack[0].next = &t->move_store[0];
        t->stack[1].list = t->stack[1].next = &t->move_store[1];
        memset(t->pv, 0, sizeof t->pv);
        t->stack[0].node_type = 0;
        t->depth = 0;
        t->root_state = 0;
        t->done_depth = 0;
        t->seldepth = 0;
        t->score = 0;
        t->null_depth = 0;
        for (auto* c : {&t->nodes, &t->tb_hits, &t->eval_probes, &t->eval_hits, &t->hash_probes,
                        &t->hash_hits, &t->pawn_probes, &t->pawn_hits})
            c->store(0, std::memory_order_relaxed);
        t->ply = 1;
        t->root_npm[0] = (uint8_t)t->pos.npm[0];
        t->root_npm[1] = (uint8_t)t->pos.npm[1];
    }
}

int ThreadsAreBusy() {
    int n = SearchData.threads, busy = 0;
    for (int i = 0; i < n; i++)
        if (ThreadData[i] && ThreadData[i]->command.load(std::memory_order_acquire)) busy++;
    return busy;
}
