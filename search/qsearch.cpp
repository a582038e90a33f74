#include "search/qsearch.h"

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/tables.h"
#include "search/ordering.h"
#include "search/search.h"
#include "search/tt.h"

const int16_t qs_gain[8] = {0, 100, 360, 360, 560, 1100, 9999, 0};
const int8_t npm_units[8] = {0, 0, 3, 3, 5, 10, 99, 0};

int Q_Search(Position* pos, int side, int ply, int depth, int alpha, int beta, int node_type, Move* pv) {
    ThreadRecord* t = pos->owner;
    SearchStackEntry* st = &t->stack[ply];
    int e = st->static_eval;
    if (e >= beta) return beta;
    st->move_count = 0;
    int stand = e > alpha ? e : alpha;
    int best = stand;
    int margin = depth < 1 ? 150 : 450;
    st->stage = depth < 0 ? 0 : PICK_QUIET_CHECKS;
    const int opp = side ^ 1;
    const int last_to = MoveTo(t->last_move);
    Move best_move = 0;
    Move lpv[PV_SIZE];

    while (MoveEntry* en = GetNextMove(pos)) {
        st->next = en;
        Move m = en->move;
        int to = MoveTo(m);
        if (depth < -3 && to != last_to) continue;
        int ct = en->captured & 7, mt = en->piece & 7;
        int g;
        if (MoveGivesCheck(pos, side, en)) {
            g = 20000;
        } else if (ct && ((ct == PAWN) ? (pos->material[opp] & 15) == 1 : (pos->material[opp] & 15) == 0) &&
                   pos->npm[opp] - npm_units[ct] < 4) {
            g = 5000;
        } else if (mt == PAWN && ((to ^ flip_sq[side]) >> 3) >= 6) {
            g = 1500;
        } else {
            g = qs_gain[ct];
        }
        if (e + g <= best - margin) continue;
        if (piece_units[mt] > piece_units[ct] && !(mt == PAWN && to == pos->ep) && ct != KING &&
            ExchangeEstimate(pos, m) < -69)
            continue;
        if (!m || !MoveIsLegal(pos, side, m)) continue;
        MakeMove(pos, m);
        lpv[ply + 1] = 0;
        int v = -Search(pos, opp, ply + 1, depth - 1, -beta, -best, -node_type, lpv);
        UnmakeMove(pos);
        if (SearchData.stop.load(std::memory_order_relaxed)) return 0;
        st->move_count++;
        if (v > best) {
            best_move = m;
            pv[ply] = m;
            pv[ply + 1] = 0;
            if (v >= beta) {
                best = v;
                break;
            }
            for (int i = ply + 1; i < MAX_PLY; i++)
                if (!(pv[i] = lpv[i])) break;
            best = v;
        }
    }
    if (depth >= 0 && best >= beta) HashStore(pos, ply, depth, best_move, best, stand, beta);
    return best;
}
