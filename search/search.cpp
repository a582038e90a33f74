#include "search/search.h"

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/see.h"
#include "board/tables.h"
#include "eval/evaluate.h"
#include "platform/platform.h"
#include "search/ordering.h"
#include "search/params.h"
#include "search/qsearch.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "tablebase/glue.h"

std::atomic<uint32_t> brnd{0};
static thread_local SearchCounters search_counters;

SearchCounters& ThreadSearchCounters() { return search_counters; }

static inline Bitboard Occupancy(const Position* pos) { return pos->bb[0] | pos->bb[8]; }

static inline bool Stopped() { return SearchData.stop.load(std::memory_order_relaxed) != 0; }

static inline double TargetNps() { return SearchData.target_nps.load(std::memory_order_relaxed); }

// Under a strength limit a thread that runs faster than the target speed
// sleeps and runs the time check until it is slow enough.
static void Throttle(ThreadRecord* t) {
    for (;;) {
        if (TargetNps() >= 1e9 || SearchData.depth.load(std::memory_order_relaxed) < 2 || Stopped())
            return;
        double elapsed = SearchData.elapsed.load(std::memory_order_relaxed);
        double nodes = (double)t->nodes.load(std::memory_order_relaxed);
        if (elapsed > 0 && nodes / elapsed <= TargetNps()) return;
        search_counters.throttle_sleeps++;
        SleepMs(1);
        SearchTimecheck();
    }
}

int MoveIsSafe(Position* pos, Move m) {
    int from = MoveFrom(m), to = MoveTo(m);
    int mt = pos->board[from] & 7, vt = pos->board[to] & 7;
    if (piece_units[mt] <= piece_units[vt]) return 1;
    if (mt == PAWN && to == pos->ep) return 1;
    if (vt == KING) return 1;
    return ExchangeEstimate(pos, m) >= -69;
}

// Squares of `targets` (ascending) reached along open lines from `to`, where
// the side's own sliders of the line kind do not block; 1 when one of them is
// attacked by the side with the moving piece lifted off `from`.
static int LineTargetsAttacked(Position* pos, int s, int from, int to, Bitboard targets, Bitboard see_through) {
    int code = pos->board[from];
    for (; targets; targets = ClearLSB(targets)) {
        int q = LSB(targets);
        if (BB_Between[to][q] & see_through) continue;
        pos->bb[code] ^= SqBit(from);
        pos->bb[8 * s] ^= SqBit(from);
        int attacked = SqAtakd(pos, q, s);
        pos->bb[code] ^= SqBit(from);
        pos->bb[8 * s] ^= SqBit(from);
        if (attacked) return 1;
    }
    return 0;
}

int MoveAttacksKingArea(Position* pos, int type, int from, int to, Bitboard zone) {
    int s = pos->board[from] >> 3;
    Bitboard occ = Occupancy(pos);
    if (type == ROOK || type == QUEEN) {
        Bitboard targets = zone & BB_RookRays[to] & ~BB_RookRays[from] & ~SqBit(from);
        Bitboard through = occ & ~(pos->bb[8 * s + ROOK] | pos->bb[8 * s + QUEEN]);
        if (LineTargetsAttacked(pos, s, from, to, targets, through)) return 1;
    }
    if (type == BISHOP || type == QUEEN) {
        Bitboard targets = zone & BB_BishopRays[to] & ~BB_BishopRays[from] & ~SqBit(from);
        Bitboard through = occ & ~(pos->bb[8 * s + BISHOP] | pos->bb[8 * s + QUEEN]);
        if (LineTargetsAttacked(pos, s, from, to, targets, through)) return 1;
    }
    return 0;
}

// Late-move pruning lets a late quiet move live when it attacks something.
static bool QuietMoveAttacks(Position* pos, int s, Move m) {
    int from = MoveFrom(m), to = MoveTo(m);
    int type = pos->board[from] & 7;
    int o = s ^ 1;
    Bitboard zone = BB_KingRays[pos->king_sq[o]];
    Bitboard occ = Occupancy(pos);
    Bitboard rq = pos->bb[8 * o + ROOK] | pos->bb[8 * o + QUEEN];
    switch (type) {
    case PAWN:
        return BB_PawnRays[s][to] &
               (zone | pos->bb[8 * o + KNIGHT] | pos->bb[8 * o + BISHOP] | rq);
    case KNIGHT:
        return BB_KnightRays[to] & (zone | rq);
    case BISHOP:
        for (Bitboard b = rq & BB_BishopRays[to] & ~BB_BishopRays[from]; b; b = ClearLSB(b))
            if (!(BB_Between[to][LSB(b)] & occ)) return true;
        return MoveAttacksKingArea(pos, BISHOP, from, to, zone);
    case ROOK:
        for (Bitboard b = pos->bb[8 * o + QUEEN] & BB_RookRays[to] & ~BB_RookRays[from]; b; b = ClearLSB(b))
            if (!(BB_Between[to][LSB(b)] & occ)) return true;
        return MoveAttacksKingArea(pos, ROOK, from, to, zone);
    case QUEEN:
        return MoveAttacksKingArea(pos, QUEEN, from, to, zone);
    default:
        return false;  // king moves
    }
}

int SNMP(Position* pos, int side, int e, int beta) {
    Bitboard occ = Occupancy(pos);
    for (Bitboard b = pos->bb[8 * side] & ~pos->bb[8 * side + KING]; b; b = ClearLSB(b)) {
        int g = swapoff1(pos, side ^ 1, NO_SQ, LSB(b), occ, 0);
        if (g >= 1 && beta + 124 >= e - g) return 0;
    }
    return 1;
}

int ProbCut(Position* pos, int ply, int depth, int beta) {
    if (beta > 9000) return 0;
    search_counters.probcut_tries++;
    ThreadRecord* t = pos->owner;
    SearchStackEntry* st = &t->stack[ply];
    int side = pos->side;
    int b2 = beta + ProbCut_margin;
    int d2 = depth - ProbCut_R > 1 ? depth - ProbCut_R : 1;
    MoveEntry* list = st->list;
    MoveEntry* end = GenerateCaptures(pos, side, list, NO_SQ);
    end = GeneratePromotions(pos, side, 1, end);
    end->move = MOVE_END;
    t->stack[ply + 1].list = end + 1;
    t->stack[ply + 2].list = end + 2;
    ScoreCapturesPlain(list, end);
    st->move_count = 0;
    Move lpv[PV_SIZE];
    for (MoveEntry* cur = list; SelectBest(cur, &end); cur++) {
        st->next = cur;
        Move m = cur->move;
        if (!m || !MoveIsLegal(pos, side, m)) continue;
        if ((cur->captured & 7) != KING && ExchangeEstimate(pos, m) < 75) continue;
        search_counters.probcut_searches++;
        MakeMove(pos, m);
        lpv[ply + 1] = 0;
        int v = -Search(pos, side ^ 1, ply + 1, d2 - 1, -b2, 1 - b2, -1, lpv);
        UnmakeMove(pos);
        if (Stopped()) return 0;
        if (v >= b2) return 1;
    }
    return 0;
}

int Search(Position* pos, int side, int ply, int depth, int alpha, int beta, int node_type, Move* pv) {
    ThreadRecord* t = pos->owner;
    CountUp(t->nodes);
    if (TargetNps() < 1e9) Throttle(t);
    if (t->nodes.load(std::memory_order_relaxed) > t->node_limit && t->done_depth >= 2) {
        search_counters.node_limit_stops++;
        SearchData.stop.store(STOP_NORMAL, std::memory_order_relaxed);
    }
    if (Stopped()) return 0;
    if (t->seldepth < ply) t->seldepth = (uint8_t)ply;

    // Mate-distance bounds.
    if (alpha < ply - 10000) alpha = ply - 10000;
    if (beta > 9999 - ply) beta = 9999 - ply;
    if (alpha >= beta) {
        search_counters.mate_distance_cuts++;
        return alpha;
    }
    if (depth >= 0) HashPrefetch(pos->key);

    SearchStackEntry* st = &t->stack[ply];
    const SearchStackEntry* parent = &t->stack[ply - 1];
    const SearchStackEntry* grand = &t->stack[ply >= 2 ? ply - 2 : 0];
    st->node_type = (int16_t)node_type;
    st->eval_draw = 0;
    st->reduction = 0;
    st->iid = 0;
    st->search_pass = 0;
    st->move_count = 0;
    st->hash_move = 0;
    st->eval_extra1 = st->eval_extra2 = 0;
    st->tb_wdl = -1;
    SearchStackEntry* child = &t->stack[ply + 1];
    child->killer1 = child->killer2 = child->killer3 = 0;
    pv[ply] = pv[ply + 1] = 0;

    Bitboard occ = Occupancy(pos);
    int checker = GetAtakr(pos, pos->king_sq[side], side ^ 1, occ);
    int in_check = checker != NO_SQ;
    st->checker = (uint8_t)checker;
    st->in_check = (uint16_t)in_check;

    // Fifty-move rule and repetitions (not right after a null move).
    if (parent->next->move != 0 && pos->fifty > 3) {
        if (pos->fifty > 99) {
            search_counters.fifty_draws++;
            return 0;
        }
        int g = t->game_ply;
        int lowest = g - pos->fifty > 0 ? g - pos->fifty : 0;
        bool seen = false;
        for (int i = g - 4; i >= lowest; i -= 2) {
            if (t->undo[i].key != pos->key) continue;
            if (i > g - ply || seen) {
                search_counters.repetition_draws++;
                return 0;
            }
            seen = true;
        }
    }

    // Check extension; at zero-window nodes only when the checker cannot be
    // won (discovered checks always extend).
    if (ply < 30 && in_check) {
        if (parent->node_type != 0 && !(parent->move_flags & MF_DISCOVERED)) {
            if (swapoff1(pos, side, NO_SQ, checker, occ, 0) < 1) {
                depth++;
                search_counters.check_extensions++;
            } else {
                search_counters.check_extensions_refused++;
            }
        } else {
            depth++;
            search_counters.check_extensions++;
        }
    }
    st->depth = (int16_t)depth;

    // Transposition table.
    bool low = false, high = false, have_entry = false;
    int entry_depth = 0;
    if (depth >= 0) {
        CountUp(t->hash_probes);
        HashEntry he;
        HashSlot* slot = HashProbe(pos, &he);
        if (slot && (he.move == 0 || HashMoveIsLegal(pos, side, he.move))) {
            have_entry = true;
            entry_depth = he.depth;
            CountUp(t->hash_hits);
            st->hash_move = he.move;
            int s = ScoreFromTable(he.score, ply);
            low = s <= alpha && he.bound != BOUND_LOWER;
            high = s >= beta && he.bound != BOUND_UPPER;
            int reach = 100 - pos->fifty;
            if (depth <= (reach < he.depth ? reach : he.depth)) {
                HashRefreshAge(slot, he, SearchData.hash_age);
                if (he.bound == BOUND_EXACT && ply >= 8 && IsMateScore(s)) {
                    search_counters.hash_mate_returns++;
                    return s;
                }
                if (node_type != 0) {
                    if (low) {
                        search_counters.hash_cutoffs++;
                        return alpha;
                    }
                    if (high) {
                        search_counters.hash_cutoffs++;
                        return beta;
                    }
                } else {
                    low = high = false;
                }
            }
        }
    }

    // Tablebases.
    if (pos->fifty == 0 || parent->tb_wdl != -1) {
        int w = TB_Probe_WDL(pos, depth);
        st->tb_wdl = w;
        if (w != -1) {
            CountUp(t->tb_hits);
            if (parent->tb_wdl == -1) {
                search_counters.tb_returns++;
                int s = w == 0 ? ply - 9801 : w == 4 ? 9800 - ply : 0;
                return s <= alpha ? alpha : s;
            }
            if (w + parent->tb_wdl >= 6) {
                search_counters.tb_returns++;
                return beta;
            }
        }
    }

    int e = Evaluate(t, side, ply, in_check, 0);
    st->static_eval = (int16_t)e;
    if (st->eval_draw) {
        search_counters.eval_draws++;
        return 0;
    }
    if (ply > 65) {
        search_counters.max_ply_returns++;
        return in_check ? 0 : e;
    }
    if (in_check) return AB_Search(pos, side, ply, depth, alpha, beta, 1, node_type, pv);

    // Strength limit: a pseudo-random share of the zero-window nodes is
    // searched shallower.
    if (blindness && node_type != 0 && alpha >= -9599 && beta <= 9598) {
        if ((((uint32_t)pos->key ^ brnd.load(std::memory_order_relaxed)) & 511) < (uint32_t)(blindness * 384 / 256)) {
            depth = depth - 2 > depth / 2 ? depth / 2 : depth - 3;
            search_counters.blind_reductions++;
        }
    }

    if (depth < 1) {
        search_counters.qsearch_drops++;
        return Q_Search(pos, side, ply, depth, alpha, beta, node_type, pv);
    }

    // Futility: hopeless shallow zero-window nodes drop into the quiescence search.
    if (depth <= FP_depth && depth < MARGIN_TABLE_SIZE && e <= alpha - FP_margin[depth] && !high &&
        alpha < 9599 && node_type != 0) {
        search_counters.futility_drops++;
        return Q_Search(pos, side, ply, depth, alpha, beta, node_type, pv);
    }

    // Static beta pruning, ProbCut and the null move.
    if (e >= beta + BP_margin && e >= grand->static_eval - 75 && node_type == 1 && !low &&
        parent->search_pass != 2 && pos->npm[side] > 0 && pos->bb[8 * side + PAWN] && beta >= -9599) {
        int x = side == WHITE ? st->eval_extra1 : st->eval_extra2;
        if (depth != 1 && e >= beta + (x < 102 ? 50 : x / 2) && parent->move_count >= 5) {
            depth--;
            search_counters.bp_depth_reductions++;
        }
        if (depth <= SEP_depth && depth < MARGIN_TABLE_SIZE && e - x >= beta) {
            if (e >= beta + SEP_margin[depth]) {
                search_counters.sep_cutoffs++;
                return beta;
            }
            if (depth < 3 && SNMP(pos, side, e, beta)) {
                search_counters.snmp_cutoffs++;
                return beta;
            }
        }
        if (depth >= ProbCut_depth && ply >= 4) {
            if (ProbCut(pos, ply, depth, beta)) {
                search_counters.probcut_cutoffs++;
                return beta;
            }
            if (Stopped()) return 0;
        }
        if (depth >= NMP_depth && t->null_depth <= t->depth.load(std::memory_order_relaxed) / 10 &&
            parent->next->move != 0 && grand->next->move != 0) {
            search_counters.null_tries++;
            int R = (depth > 9 && pos->npm[side] >= 4) ? 4 : 3;
            st->move_count = 0;
            t->null_depth++;
            if ((uint64_t)t->null_depth > search_counters.null_depth_max)
                search_counters.null_depth_max = (uint64_t)t->null_depth;
            GenerateNullMove(pos);
            st->next->piece = st->next->captured = 0;
            MakeNullMove(pos);
            int nd = (depth - R > 1 ? depth - R : 1) - 1;
            int v = -Search(pos, side ^ 1, ply + 1, nd, -beta, -alpha, 1, pv);
            UnmakeNullMove(pos);
            t->null_depth--;
            if (Stopped()) return 0;
            if (v >= beta) {
                if (depth < 5) {
                    search_counters.null_cutoffs++;
                    return beta;
                }
                depth = depth - R - 1;
                search_counters.null_reductions++;
            }
        }
    }

    // Internal iterative deepening finds a move to try first.
    int id = node_type == 0 ? depth - 3 : depth > 8 ? depth - 5 : depth - 4;
    if (!(have_entry && entry_depth >= id) && id >= 1 && e >= alpha - 199) {
        search_counters.iid_searches++;
        st->iid = 1;
        AB_Search(pos, side, ply, id, alpha, beta, 0, node_type, pv);
        st->iid = 0;
        if (Stopped()) return 0;
        st->hash_move = pv[ply];
    }
    return AB_Search(pos, side, ply, depth, alpha, beta, 0, node_type, pv);
}

int LateMoveReduction(int depth, int n, int node_type, int score, int parent_reduction, int safe, int flags) {
    int d = depth < LMR_TABLE_SIZE - 1 ? (depth > 0 ? depth : 0) : LMR_TABLE_SIZE - 1;
    int k = n < LMR_TABLE_SIZE - 1 ? (n > 0 ? n : 0) : LMR_TABLE_SIZE - 1;
    int R = node_type != 0 ? lmr_nonpv[d][k] : lmr_pv[d][k];
    if (R == 0) {
        R = safe ? 0 : 1;
    } else {
        if (score > 31 || R <= parent_reduction) R--;
        if (!safe) R++;
        if (R >= 3 && (flags & 63)) R = (flags & MF_CAPTURE) ? 2 : 3;
    }
    if (d - R < 1) R = d - 1;
    return R < 0 ? 0 : R;
}

int AB_Search(Position* pos, int side, int ply, int depth, int alpha, int beta, int in_check, int node_type,
              Move* pv) {
    ThreadRecord* t = pos->owner;
    SearchStackEntry* st = &t->stack[ply];
    const SearchStackEntry* parent = &t->stack[ply - 1];
    int best = -10001, a = alpha, n = 0, hash_seen = 0;
    Move best_move = 0;
    Move lpv[PV_SIZE];

    pv[ply] = 0;
    const bool lmp = depth <= LMP_depth && depth < MARGIN_TABLE_SIZE && !in_check && !st->iid && depth >= 1 &&
                     node_type != 0;
    const bool lmr = depth >= LMR_depth && ply + depth >= t->depth.load(std::memory_order_relaxed) / 2;
    st->move_count = 0;
    st->stage = PICK_HASH_FIRST | PICK_FULL;
    const Move hash_move = st->hash_move;

    while (MoveEntry* e = GetNextMove(pos)) {
        st->next = e;
        Move m = e->move;
        if (m == hash_move && ++hash_seen > 1) continue;
        if (m == 0) continue;
        if (!MoveIsLegal(pos, side, m)) continue;
        int f = SetMoveFlags(pos, side, e);
        st->reduction = 0;
        st->move_flags = (uint16_t)(f & 255);
        int R = 0;
        if (best >= -9599) {
            int safe = -1;  // MoveIsSafe, computed when first needed
            auto is_safe = [&]() {
                if (safe < 0) safe = MoveIsSafe(pos, m);
                return safe != 0;
            };
            if (lmp) {
                if ((f & 63) == 0) {
                    if (n >= e->score / 4 + LMP_count[depth] && !QuietMoveAttacks(pos, side, m)) {
                        search_counters.lmp_prunes++;
                        continue;
                    }
                    if (!is_safe()) {
                        search_counters.lmp_unsafe_prunes++;
                        continue;
                    }
                } else if (depth == 1 && !(f & MF_DISCOVERED) && !is_safe()) {
                    search_counters.depth1_unsafe_prunes++;
                    continue;
                }
            }
            if (lmr) {
                R = LateMoveReduction(depth, n, node_type, e->score, parent->reduction, is_safe(), f);
                st->reduction = (uint8_t)R;
                if (R > 0) search_counters.lmr_reduced++;
            }
        }

        MakeMove(pos, m);
        lpv[ply + 1] = 0;
        int v;
        if (ply - 9989 > best || depth <= 1) {
            v = -Search(pos, side ^ 1, ply + 1, depth - 1, -beta, -a, -node_type, lpv);
        } else {
            st->search_pass = 1;
            v = -Search(pos, side ^ 1, ply + 1, depth - R - 1, -a - 1, -a, 1, lpv);
            if (v > a) {
                search_counters.lmr_researches++;
                st->reduction = 0;
                st->search_pass = 2;
                v = -Search(pos, side ^ 1, ply + 1, depth - 1, -beta, -a, -node_type, lpv);
            }
            st->search_pass = 0;
        }
        UnmakeMove(pos);
        if (Stopped()) return 0;
        n++;
        st->move_count = (uint16_t)n;

        if (!(f & MF_CAPTURE) && depth >= 1) UpdateOrdering(t, ply, depth, e, v > a);
        if (v <= best) continue;
        best_move = m;
        pv[ply] = m;
        pv[ply + 1] = 0;
        if (v <= a) {
            best = v;
            continue;
        }
        if (v >= beta) {
            best = v;
            break;
        }
        for (int i = ply + 1; i < MAX_PLY; i++)
            if (!(pv[i] = lpv[i])) break;
        best = a = v;
    }

    if (!best_move) {
        best = in_check ? ply - 10000 : 0;
        HashStore(pos, ply, depth, 0, best, -10001, 10001);
    } else if (depth >= 0) {
        HashStore(pos, ply, depth, best_move, best, alpha, beta);
    }
    return best;
}
