#include "board/perft.h"

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/see.h"
#include "search/ordering.h"

namespace {

// The caller's question "should the count end?", asked every POLL_INTERVAL
// nodes two plies above the leaves (some thousand leaves each).
struct PerftPollState {
    PerftPoll poll;
    int countdown;
    bool ended;
};
enum : int { POLL_INTERVAL = 256 };

void PerftNode(ThreadRecord* t, int side, int ply, int depth, PerftPollState* ps) {
    if (ply < 1 || ply >= MAX_PLY) return;
    if (ps && depth == 2 && --ps->countdown <= 0) {
        ps->countdown = POLL_INTERVAL;
        if (ps->poll()) ps->ended = true;
    }
    if (ps && ps->ended) return;
    Position* pos = &t->pos;
    SearchStackEntry* st = &t->stack[ply];
    int checker = GetAtakr(pos, pos->king_sq[side], side ^ 1, pos->bb[0] | pos->bb[8]);
    st->checker = (uint8_t)checker;
    st->hash_move = 0;
    st->in_check = checker != NO_SQ;
    st->stage = PICK_PERFT | PICK_FULL;
    uint64_t leaves = 0;
    while (MoveEntry* e = GetNextMove(pos)) {
        if (!e->move || !MoveIsLegal(pos, side, e->move)) continue;
        st->next = e;
        if (depth <= 1) {
            leaves++;
        } else {
            MakeMove(pos, e->move);
            PerftNode(t, side ^ 1, ply + 1, depth - 1, ps);
            UnmakeMove(pos);
            if (ps && ps->ended) break;
        }
    }
    if (leaves) CountUp(t->nodes, leaves);
}

}  // namespace

void Perft2(ThreadRecord* t, int side, int ply, int depth) { PerftNode(t, side, ply, depth, nullptr); }

bool PerftUntil(ThreadRecord* t, int side, int ply, int depth, PerftPoll poll) {
    PerftPollState ps{poll, POLL_INTERVAL, false};
    PerftNode(t, side, ply, depth, poll ? &ps : nullptr);
    return !ps.ended;
}
