// Test harness for the node search: the environment (tables, evaluation,
// search parameters, a small transposition table), a record prepared the way
// the search start prepares it, a simple iterative-deepening root loop that
// searches every root move through Search at ply 2, and a way to run one node
// directly at a chosen ply.
#pragma once
#include <cstring>
#include <string>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/see.h"
#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "eval/params.h"
#include "search/ordering.h"
#include "search/params.h"
#include "search/search.h"
#include "search/tt.h"
#include "test_util.h"

inline void InitSearchEnvironment(int hash_mb = 16) {
    static bool kpk_done = false;
    InitTestEnvironment();
    if (!kpk_done) {
        InitKPK();
        kpk_done = true;
    }
    Personality = DefaultPersonality;
    SetEvalParams();
    SearchData.target_nps = 1e9;
    SetSearchParams();
    SearchData.threads = 1;
    SearchData.use_hash = 1;
    SearchData.stop = 0;
    SearchData.depth = 0;
    if (SearchData.hash_mb != hash_mb || !hashtable) {
        SearchData.hash_mb = (int16_t)hash_mb;
        HashInit();
    } else {
        HashClear();
    }
    SearchData.hash_age = 1;
    brnd.store(0);
}

inline std::string MoveText(Move m) {
    char buf[16];
    return MoveToStr(m, buf);
}

// Resets the record for a new search from its current position, as the
// search start does for the root.
inline void PrepareRecord(ThreadRecord* t) {
    ResetOrdering(t);
    t->ply = 1;
    t->move_store[0] = MoveEntry{MOVE_END, 0, 0, 0};
    t->stack[0].list = t->stack[0].next = &t->move_store[0];
    t->stack[1].list = t->stack[1].next = &t->move_store[1];
    t->stack[0].node_type = 0;
    t->stack[0].tb_wdl = -1;
    for (auto* c : {&t->nodes, &t->tb_hits, &t->eval_probes, &t->eval_hits, &t->hash_probes, &t->hash_hits,
                    &t->pawn_probes, &t->pawn_hits})
        c->store(0);
    t->node_limit = 0x4000000000000000ULL;
    t->null_depth = 0;
    t->done_depth = 0;
    t->seldepth = 0;
    t->depth = 0;
    memset(t->pv, 0, sizeof t->pv);
    SearchStackEntry& root = t->stack[1];
    Position* pos = &t->pos;
    int checker = GetAtakr(pos, pos->king_sq[pos->side], pos->side ^ 1, pos->bb[0] | pos->bb[8]);
    root.checker = (uint8_t)checker;
    root.in_check = checker != NO_SQ;
    root.tb_wdl = -1;
    root.node_type = 0;
    root.move_count = root.search_pass = root.reduction = 0;
    root.move_flags = 0;
    int e = Evaluate(t, pos->side, 1, root.in_check, 0);
    root.static_eval = (int16_t)e;
    t->stack[0].static_eval = (int16_t)-e;
    ThreadSearchCounters() = SearchCounters{};
}

struct RootResult {
    int score = -10001;
    int depth = 0;
    Move pv[PV_SIZE] = {};
    uint64_t nodes = 0;
};

// Iterative deepening from 1 to max_depth over the legal root moves; each
// root move is searched through Search at ply 2 (the first with the full
// window, the others with a zero window and a re-search when they beat the
// best). Stops early at a found mate, like the engine's iterations.
inline RootResult SearchRootForTest(ThreadRecord* t, int max_depth) {
    RootResult r;
    PrepareRecord(t);
    Position* pos = &t->pos;
    SearchStackEntry& st = t->stack[1];
    int side = pos->side;
    GenerateAll(pos);
    MoveEntry* list = st.list;
    int n = 0;
    for (MoveEntry* e = list; e->move != MOVE_END; e++)
        if (MoveIsLegal(pos, side, e->move)) list[n++] = *e;
    list[n].move = MOVE_END;
    t->stack[2].list = &list[n + 1];
    t->stack[3].list = &list[n + 2];
    PrescoreAll(pos, list);
    if (n == 0) {
        r.score = st.in_check ? -9999 : 0;
        return r;
    }
    Move lpv[PV_SIZE];
    for (int d = 1; d <= max_depth; d++) {
        t->depth = (uint8_t)d;
        SearchData.depth = (uint8_t)d;
        int best = -10001;
        st.move_count = 0;
        st.depth = (int16_t)d;
        for (int i = 0; i < n; i++) {
            int top = i;
            for (int j = i + 1; j < n; j++)
                if (list[j].score > list[top].score) top = j;
            std::swap(list[i], list[top]);
            MoveEntry* e = &list[i];
            st.next = e;
            st.move_flags = (uint16_t)(SetMoveFlags(pos, side, e) & 255);
            st.reduction = 0;
            e->score = (int16_t)(-11000 - i);
            memset(lpv, 0, sizeof lpv);
            MakeMove(pos, e->move);
            int v;
            if (i == 0) {
                v = -Search(pos, side ^ 1, 2, d - 1, -10001, 10001, 0, lpv);
            } else {
                st.search_pass = 1;
                v = -Search(pos, side ^ 1, 2, d - 1, -best - 1, -best, 1, lpv);
                if (v > best && !SearchData.stop) {
                    st.search_pass = 2;
                    v = -Search(pos, side ^ 1, 2, d - 1, -10001, -best, 0, lpv);
                }
                st.search_pass = 0;
            }
            UnmakeMove(pos);
            if (SearchData.stop) break;
            st.move_count++;
            if (v > best) {
                best = v;
                e->score = (int16_t)(v > 20000 ? 20000 : v);
                r.pv[1] = e->move;
                for (int k = 2; k < MAX_PLY; k++)
                    if (!(r.pv[k] = lpv[k])) break;
                MoveEntry keep = *e;
                for (int k = i; k > 0; k--) list[k] = list[k - 1];
                list[0] = keep;
                list[0].score = 30000;
            }
        }
        if (SearchData.stop) break;
        r.score = best;
        r.depth = d;
        t->done_depth = (uint8_t)d;
        if (best >= 9999 - d || best < d - 9999) break;
    }
    r.nodes = t->nodes.load();
    return r;
}

inline RootResult SearchFen(ThreadRecord* t, const char* fen, int depth) {
    SetTestPosition(t, fen);
    return SearchRootForTest(t, depth);
}

// Makes the record look like the search reached `ply` by two ordinary moves
// (given as list entries), so that Search can be called at that ply directly.
struct NodeFrame {
    MoveEntry prev{MakeMoveCode(8, 16), 0, 1, 0};
    MoveEntry prev2{MakeMoveCode(48, 40), 0, 9, 0};
};

inline void PrepareNode(ThreadRecord* t, int ply, NodeFrame& f, int iteration = 10) {
    PrepareRecord(t);
    t->ply = (int16_t)ply;
    t->depth = (uint8_t)iteration;
    SearchData.depth = (uint8_t)iteration;
    for (int p = 0; p < ply; p++) {
        SearchStackEntry& s = t->stack[p];
        s.next = (p == ply - 1) ? &f.prev : &f.prev2;
        s.node_type = 1;
        s.search_pass = 0;
        s.move_count = 0;
        s.reduction = 0;
        s.move_flags = 0;
        s.tb_wdl = -1;
        s.static_eval = -10001;
    }
    t->stack[ply].list = &t->move_store[100];
}
