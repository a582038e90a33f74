#include "search/iterate.h"

#include <cstring>

#include "base/settings.h"
#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "eval/evaluate.h"
#include "search/info.h"
#include "search/ordering.h"
#include "search/qsearch.h"
#include "search/records.h"
#include "search/root.h"
#include "search/search.h"
#include "tablebase/glue.h"

enum : int { MAX_ITERATIONS = 68, MAX_GAME_PLY_PLUS_DEPTH = 883 };

static inline bool Stopped() { return SearchData.stop.load(std::memory_order_relaxed) != 0; }

// Sets `stop` unless something else already did.
static void SetStop(uint8_t value) {
    uint8_t expected = STOP_NONE;
    SearchData.stop.compare_exchange_strong(expected, value, std::memory_order_relaxed);
}

// "go infinite" never ends by itself: the master holds its result until
// "stop" (or a new "go", "ucinewgame", "quit", a pool shutdown) sets `stop`.
static void HoldWhileInfinite(bool pool) {
    if (!pool) return;
    while (SearchData.infinite && !Stopped()) SleepMs(1);
}

// Resets the thread's ordering tables and stack for a new search.
static void ResetThread(ThreadRecord* t) {
    ResetOrdering(t);
    SearchStackEntry& r = t->stack[1];
    MoveEntry* list = r.list;
    MoveEntry* next = r.next;
    memset(&r, 0, sizeof r);
    r.list = list;
    r.next = next;
    r.tb_wdl = -1;
    r.checker = NO_SQ;
}

// Publishes the result of a root without a legal move (mate or stalemate).
static void PublishNoMove(ThreadRecord* t, bool in_check) {
    SearchDataRecord& sd = SearchData;
    t->depth.store(1, std::memory_order_relaxed);
    t->done_depth = 1;
    t->seldepth = 1;
    const int score = in_check ? -9999 : 0;
    t->score.store((int16_t)score, std::memory_order_relaxed);
    const uint16_t mine = RelaxedLoad(t->pv[1]);
    const bool same = mine == sd.pv[1].load(std::memory_order_relaxed) &&
                      sd.best_score.load(std::memory_order_relaxed) == score &&
                      sd.best_depth.load(std::memory_order_relaxed) == 1;
    if (!same) {
        if (mine != sd.pv[1].load(std::memory_order_relaxed)) sd.change_depth.store(1, std::memory_order_relaxed);
        sd.best_score.store((int16_t)score, std::memory_order_relaxed);
        sd.best_depth.store(1, std::memory_order_relaxed);
        for (int i = 0; i < MAX_PLY + 2; i++) sd.pv[i].store(RelaxedLoad(t->pv[i]), std::memory_order_relaxed);
        sd.depth_score[1].store((int16_t)score, std::memory_order_relaxed);
        sd.depth_move[1].store(mine, std::memory_order_relaxed);
    }
}

// Keeps the legal moves of the root list (in order) and returns their number.
static int KeepLegalMoves(Position* pos, int side, MoveEntry* list) {
    int n = 0;
    for (MoveEntry* e = list; e->move != MOVE_END; e++)
        if (e->move != 0 && MoveIsLegal(pos, side, e->move)) list[n++] = *e;
    list[n].move = MOVE_END;
    list[n].score = 0;
    list[n].piece = list[n].captured = 0;
    return n;
}

// The search of one thread: `pool` is false for SearchIterations.
static void RunSearch(ThreadRecord* t, bool pool) {
    SearchDataRecord& sd = SearchData;
    const int index = t->thread_index;
    const bool master = index == 0;

    // 1. Evaluation parameters changed since the last search: fresh caches.
    if (t->eval_params_changed.load(std::memory_order_relaxed)) {
        memset(t->pawn_hash, 0, sizeof t->pawn_hash);
        memset(t->eval_cache, 0, sizeof t->eval_cache);
        t->eval_params_changed.store(0, std::memory_order_relaxed);
    }

    // 2. Helpers join at the master's second iteration; the master loads
    //    every thread's record from the game record.
    if (!master) {
        while (sd.depth.load(std::memory_order_acquire) <= 1) {
            if (Stopped()) return;
            SleepMs(1);
        }
    } else if (pool) {
        InitSearchThreads();
    }

    // 3. Fresh ordering tables.
    ResetThread(t);

    // 4. Seed of this search.
    const uint32_t seed = (uint32_t)(TimeOfDayMicros() / 1000000u) * 19375u + 987654321u;
    t->seed = seed;
    brnd.store(seed, std::memory_order_relaxed);

    Position* pos = &t->pos;
    const int side = pos->side;

    // 5. The root's check state and static evaluation.
    const bool in_check = SqAtakd(pos, pos->king_sq[side], side ^ 1) != 0;
    t->stack[1].in_check = in_check;
    // The evaluation trace area is one for the whole program: only the master
    // traces the root (the helpers would write it all at once).
    const int e = Evaluate(t, side, 1, in_check, master ? PBlock.debug : 0);
    t->score.store((int16_t)e, std::memory_order_relaxed);
    t->root_eval = (int16_t)e;
    t->stack[1].static_eval = (int16_t)e;
    t->stack[0].static_eval = (int16_t)-e;

    // 6.-7. A root without a legal move is mate or stalemate.
    if (IsMate(pos)) {
        if (master) {
            PublishNoMove(t, in_check);
            HoldWhileInfinite(pool);
            SetStop(STOP_NO_MOVES);
        }
        return;
    }

    // 8. Depth limit 0: only the quiescence score of the root.
    if (sd.depth_limit == 0) {
        if (master) {
            if (!in_check) {
                uint16_t pv[MAX_PLY + 2] = {0};
                const int q = Q_Search(pos, side, 1, 0, -10001, 10001, 0, pv);
                for (int i = 1; i < MAX_PLY + 2; i++) RelaxedStore(t->pv[i], pv[i]);
                sd.best_score.store((int16_t)q, std::memory_order_relaxed);
                t->score.store((int16_t)q, std::memory_order_relaxed);
            }
            HoldWhileInfinite(pool);
            SetStop(STOP_NORMAL);
        }
        return;
    }

    // 9. The legal root moves, ordered.
    GenerateAll(pos);
    MoveEntry* list = t->stack[1].list;
    const int nmoves = KeepLegalMoves(pos, side, list);
    PrescoreAll(pos, list);
    if (nmoves == 1) sd.single_reply.store(1, std::memory_order_relaxed);
    if (master) {
        // A stand-in result, so that a search stopped before its first
        // iteration completes still answers with a legal move.
        int top = 0;
        for (int i = 1; i < nmoves; i++)
            if (list[i].score > list[top].score) top = i;
        sd.pv[2].store(0, std::memory_order_relaxed);
        sd.pv[1].store(list[top].move, std::memory_order_relaxed);
    }

    // 10. The tablebases at the root.
    if (master) {
        sd.tb_move.store(0, std::memory_order_relaxed);
        int cls = -1;
        uint32_t dtz = 0;
        Move tb_move = 0;
        int r = TB_Probe_DTZ(pos, &cls, &dtz, &tb_move);
        if (r == -1) {
            r = TB_Probe_WDL(pos, 70);
            tb_move = 0;
        }
        const int score = r == 4 ? 9799 : r == 0 ? -9800 : 0;
        sd.tb_score[side] = (int16_t)score;
        sd.tb_score[side ^ 1] = (int16_t)-score;
        sd.tb_result.store(r, std::memory_order_relaxed);
        sd.tb_move.store(tb_move, std::memory_order_relaxed);
        if (tb_move && pos->fifty > 9 && MoveIsLegal(pos, side, tb_move)) {
            RelaxedStore(t->pv[1], tb_move);
            t->pv[2] = 0;
            t->depth.store(1, std::memory_order_relaxed);
            t->done_depth = 99;
            t->seldepth = 99;
            CountUp(t->tb_hits);
            t->score.store((int16_t)score, std::memory_order_relaxed);
            NewBestMove(t);
            HoldWhileInfinite(pool);
            SetStop(STOP_NORMAL);
            return;
        }
    } else if (sd.tb_result.load(std::memory_order_relaxed) != -1) {
        return;
    }

    // 11.
    t->stack[1].tb_wdl = master ? sd.tb_result.load(std::memory_order_relaxed) : -1;

    // 12. Iterations.
    const int threads = sd.threads.load(std::memory_order_relaxed);
    for (int d = 1;;) {
        if (pool && !master && d >= 7 && d < sd.depth_limit && sd.multipv == 1) {
            int deeper = 0;
            for (int j = 0; j < threads; j++)
                if (ThreadData[j] && ThreadData[j]->depth.load(std::memory_order_relaxed) >= d) deeper++;
            if (deeper > threads / 2) d++;
        }
        t->depth.store((uint8_t)d, std::memory_order_relaxed);
        if (master) sd.depth.store((uint8_t)d, std::memory_order_release);
        t->research = (d >= 6 && sd.hash_mb >= 4 && sd.multipv == 1) ? 1 : 0;

        if (pool && !master && nmoves >= 2) {
            uint32_t s = t->seed;
            for (int i = 1; i < nmoves; i++) {
                s = s * 19375u + 987654321u;
                list[i].score = (int16_t)(list[i].score - (int)(s % 24));
            }
            t->seed = s;
        }

        for (int k = 0;; k++) {
            SearchRoot(pos, side, d, k);
            if (Stopped()) break;
            if (master && sd.multipv > 1 && sd.elapsed.load(std::memory_order_relaxed) >= PBlock.noise &&
                PBlock.noise != 9999.0 && RelaxedLoad(t->pv[1]) != 0) {
                uint16_t pv[MAX_PLY + 2];
                for (int i = 0; i < MAX_PLY + 2; i++) pv[i] = RelaxedLoad(t->pv[i]);
                DisplaySearchInfo(0, k + 1, d, t->score.load(std::memory_order_relaxed), pv);
            }
            if (!(k + 1 < sd.multipv && list[k + 1].move != MOVE_END)) break;
        }
        {
            SpinGuard g(spinlock3);
            sd.depth_nodes[d] += t->nodes.load(std::memory_order_relaxed);
        }
        if (Stopped()) break;
        if (t->research == 2) SearchRoot(pos, side, d, 0);
        if (master) sd.last_depth.store((uint8_t)d, std::memory_order_relaxed);

        const int best = sd.best_score.load(std::memory_order_relaxed);
        if (best >= 9999 - d || best < d - 9999 || d >= sd.depth_limit || t->game_ply + d > MAX_GAME_PLY_PLUS_DEPTH ||
            d + 1 > MAX_ITERATIONS)
            break;
        d++;
    }

    // 14. Natural end of the master.
    if (master) {
        HoldWhileInfinite(pool);
        SetStop(STOP_NORMAL);
    }
}

void PoolThreadSearch(ThreadRecord* t) { RunSearch(t, true); }

void SearchIterations() {
    ThreadRecord* t = ThreadData[0];
    if (!t) return;  // no pool: nothing to search with
    InitSearchThreads();
    RunSearch(t, false);
}
