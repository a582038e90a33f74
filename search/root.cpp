#include "search/root.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/output.h"
#include "base/settings.h"
#include "board/makemove.h"
#include "board/see.h"
#include "board/tables.h"
#include "search/info.h"
#include "search/ordering.h"
#include "search/pool.h"
#include "search/records.h"
#include "search/search.h"
#include "search/tt.h"

static inline bool Stopped() { return SearchData.stop.load(std::memory_order_relaxed) != 0; }

static inline double Elapsed() { return SearchData.elapsed.load(std::memory_order_relaxed); }

// Interim lines (fail highs, aspiration failures) wait for the quiet interval.
static inline bool InterimDue() {
    return (Stopped() || Elapsed() >= PBlock.noise) && PBlock.noise != 9999.0;
}

static void ProgressLines(const ThreadRecord* t, int depth, Move m, bool first) {
    SearchDataRecord& sd = SearchData;
    SpinGuard g(spinlock2);
    Collect();
    const double el = Elapsed();
    if (first) {
        HashFull();
        ShowMessageF("info depth %d time %.0f nodes %.0f nps %.0f hashfull %.0f", depth, el * 1000.0,
                     (double)sd.nodes, el > 0.001 ? (double)sd.nodes / el : 0.0,
                     sd.hashfull.load(std::memory_order_relaxed) * 1000.0);
    }
    if (sd.multipv == 1)
        ShowMessageF("info currmove %s%s currmovenumber %d", square_name[MoveFrom(m)], square_name[MoveTo(m)],
                     t->stack[1].move_count + 1);
}

static void SetThreadLine(ThreadRecord* t, Move m, int score) {
    RelaxedStore(t->pv[1], m);
    t->pv[2] = 0;
    t->score.store((int16_t)score, std::memory_order_relaxed);
}

static inline int ClampLo(int lo) { return lo < -5000 ? -10001 : lo; }
static inline int ClampHi(int hi) { return hi > 5000 ? 10001 : hi; }

void SearchRoot(Position* pos, int side, int depth, int k) {
    SearchDataRecord& sd = SearchData;
    ThreadRecord* t = pos->owner;
    const bool master = t->thread_index == 0;
    const bool report = master && sd.multipv == 1 && k == 0;
    const bool interim = report && depth >= 4;

    SearchStackEntry& e = t->stack[1];
    e.checker = (uint8_t)GetAtakr(pos, pos->king_sq[side], side ^ 1, pos->bb[0] | pos->bb[8]);
    e.in_check = e.checker != NO_SQ;
    e.move_count = 0;
    e.depth = (int16_t)depth;

    const int prev = t->score.load(std::memory_order_relaxed);
    int w;
    if (depth == 1) w = 10001;
    else if (depth == 2) w = 100;
    else w = std::max(20, (15 - depth) * 4) + std::abs(prev) / 16;
    const double target_nps = sd.target_nps.load(std::memory_order_relaxed);
    if (target_nps < 10000 && depth <= 2) w = 60;
    int lo = ClampLo(prev - w), hi = ClampHi(prev + w);
    int best = -10001;

    MoveEntry* list = e.list;
    uint16_t child_pv[MAX_PLY + 2];
    uint16_t saved_pv[MAX_PLY + 2];

    for (int i = k; list[i].move != MOVE_END; i++) {
        int top = i;
        for (int j = i + 1; list[j].move != MOVE_END; j++)
            if (list[j].score > list[top].score) top = j;
        std::swap(list[i], list[top]);
        const Move m = list[i].move;

        if (master && k == 0 && RelaxedLoad(PBlock.uci) && Elapsed() > 3.5 && Elapsed() > PBlock.noise)
            ProgressLines(t, depth, m, i == k);

        memcpy(saved_pv, t->pv, sizeof saved_pv);
        const int saved_score = t->score.load(std::memory_order_relaxed);
        t->root_state.store(0, std::memory_order_relaxed);
        e.next = &list[i];
        e.move_flags = SetMoveFlags(pos, side, &list[i]);
        list[i].score = (int16_t)(-11000 - e.move_count);
        e.search_pass = 0;
        e.reduction = 0;

        const int flags = e.move_flags;
        const int R = (e.move_count >= 5 && depth >= 6 && best >= std::max(prev, -9565) - 34 && !e.in_check &&
                       (flags & 63) == 0 && pos->npm[side] > 0 && pos->bb[side * 8 + PAWN] != 0)
                          ? 1
                          : 0;

        MakeMove(pos, m);
        int v;
        child_pv[2] = 0;
        if (e.move_count == 0 || (depth == 1 && target_nps > 10000)) {
            // The first move (and every move of iteration 1): aspiration window.
            v = -Search(pos, side ^ 1, 2, depth - 1, -hi, -lo, 0, child_pv);
            bool failed_low = false;
            while ((v <= lo || v >= hi) && !Stopped()) {
                const bool low = v <= lo;
                // A move that keeps failing low with a wide window is left for
                // a repeated root search of this iteration.
                if (low && failed_low && w > 150 && lo < 9599 && sd.multipv == 1 && t->research == 1) {
                    t->research = 2;
                    break;
                }
                t->root_state.store(low ? 1 : 2, std::memory_order_relaxed);
                SetThreadLine(t, m, v);
                if (interim && InterimDue() && m != 0) DisplaySearchInfo(t->thread_index, 0, depth, v, t->pv);
                w = std::max(25, 2 * w);
                if (low) lo = ClampLo(lo - w);
                else hi = ClampHi(hi + w);
                failed_low = low;
                v = -Search(pos, side ^ 1, 2, depth - 1, -hi, -lo, 0, child_pv);
            }
        } else {
            // Later moves: a zero-window test against the best score so far.
            int u = best + 1 > 5000 ? 10001 : best + 1;
            e.search_pass = 1;
            v = -Search(pos, side ^ 1, 2, depth - R - 1, -u, -best, 1, child_pv);
            e.search_pass = 0;
            int step = 0;
            bool first_pass = true;
            while (v >= u && !Stopped()) {
                t->root_state.store(2, std::memory_order_relaxed);
                if (master) sd.change_depth.store((uint8_t)depth, std::memory_order_relaxed);
                list[i].score = (int16_t)(best - 1);
                SetThreadLine(t, m, v);
                if (interim && !first_pass && InterimDue())
                    DisplaySearchInfo(t->thread_index, 0, depth, v, t->pv);
                first_pass = false;
                step = std::max(25, 2 * step);
                u = u + step > 5000 ? 10001 : u + step;
                e.reduction = 0;
                e.search_pass = 2;
                v = -Search(pos, side ^ 1, 2, depth - 1, -u, -best, 0, child_pv);
                e.search_pass = 0;
            }
        }
        UnmakeMove(pos);
        t->root_state.store(0, std::memory_order_relaxed);

        if (Stopped()) {
            // An interim result of the master that clearly beats the published
            // line with another move is still worth playing.
            const uint16_t mine = RelaxedLoad(t->pv[1]);
            const int best_score = sd.best_score.load(std::memory_order_relaxed);
            if (master && mine != 0 && t->score.load(std::memory_order_relaxed) > best_score + 24 &&
                mine != sd.pv[1].load(std::memory_order_relaxed) && best_score <= 9598) {
                t->done_depth = (uint8_t)depth;
                NewBestMove(t);
            }
            return;
        }

        for (int j = 1; j < MAX_PLY + 2; j++) RelaxedStore(t->pv[j], saved_pv[j]);
        t->score.store((int16_t)saved_score, std::memory_order_relaxed);
        e.move_count++;
        if (v > lo) list[i].score = (int16_t)v;
        if (v > best) {
            t->score.store((int16_t)v, std::memory_order_relaxed);
            RelaxedStore(t->pv[1], m);
            int j = 2;
            for (; j < MAX_PLY && child_pv[j] != 0; j++) t->pv[j] = child_pv[j];
            if (j < MAX_PLY) t->pv[j] = 0;
            t->done_depth = (uint8_t)depth;
            if (master && k == 0) NewBestMove(t);
            const MoveEntry moved = list[i];
            for (int j2 = i; j2 > k; j2--) list[j2] = list[j2 - 1];
            list[k] = moved;
            best = v;
        }
    }
    if (depth == 1 && report) DisplaySearchInfo(0, 0, 1, best, t->pv);
}
