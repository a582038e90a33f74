#include "board/perft.h"

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/see.h"
#include "search/ordering.h"

void Perft2(ThreadRecord* t, int side, int ply, int depth) {
    if (ply < 1 || ply >= MAX_PLY) return;
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
            Perft2(t, side ^ 1, ply + 1, depth - 1);
            UnmakeMove(pos);
        }
    }
    if (leaves) CountUp(t->nodes, leaves);
}
