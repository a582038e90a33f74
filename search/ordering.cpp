#include "search/ordering.h"

#include "board/attacks.h"
#include "board/movegen.h"
#include "board/see.h"
#include "board/tables.h"

const int16_t capture_value[8] = {210, 220, 230, 230, 240, 250, 0, 0};
const int8_t piece_units[8] = {0, 1, 3, 3, 5, 10, 99, 0};

int SetMoveFlags(Position* pos, int side, const MoveEntry* e) {
    Move m = e->move;
    int to = MoveTo(m);
    int type = pos->board[MoveFrom(m)] & 7;
    int g = MoveGivesCheck(pos, side, e);
    int f = 0;
    if (g > 0) f |= MF_CHECK;
    if (g == 2) f |= MF_DISCOVERED;
    if (pos->board[to] || (type == PAWN && to == pos->ep)) f |= MF_CAPTURE;
    if (type != PAWN) return f;
    if (m & PROMO_QUEEN) return f | 48;
    int r = (to ^ flip_sq[side]) >> 3;
    if (r == 6) return f | 40;
    if (r == 7) return f | 32;
    if (r <= 3) return f;
    if (!(BB_PawnSpan[side][to] & pos->bb[8 * (side ^ 1) + PAWN])) return f | 32;
    return f;
}

int ExchangeEstimate(Position* pos, Move m) {
    int from = MoveFrom(m);
    int side = pos->board[from] >> 3;
    return swapoff1(pos, side, from, MoveTo(m), pos->bb[0] | pos->bb[8], 0);
}

// The previous move's piece type, 0 for the null move and the list anchor.
static inline int PrevType(const MoveEntry* prev) { return prev->move ? prev->piece & 7 : 0; }

static inline int HistoryScore(const ThreadRecord* t, int prev_type, const MoveEntry* e) {
    int pc = e->piece & 15, to = MoveTo(e->move);
    return (t->history[0][pc][to] / 256 + t->history[prev_type][pc][to] / 256) / 2;
}

void PrescoreAll(Position* pos, MoveEntry* list) {
    ThreadRecord* t = pos->owner;
    const SearchStackEntry* st = &t->stack[t->ply];
    int prev_type = PrevType(t->stack[t->ply - 1].next);
    for (MoveEntry* e = list; e->move != MOVE_END; e++) {
        Move m = e->move;
        if (m == st->hash_move) {
            e->score = 255;
        } else if (!e->captured && !(m & PROMO_QUEEN)) {
            int s = HistoryScore(t, prev_type, e);
            if (m == st->killer1) s += 60;
            else if (m == st->killer2) s += 50;
            e->score = (int16_t)s;
        } else {
            int ct = e->captured & 7;
            int s = capture_value[ct] - (e->piece & 7);
            if (ct != KING && ExchangeEstimate(pos, m) < -50) s = ct + 4;
            e->score = (int16_t)s;
        }
    }
}

// The lists of the two following plies start after the terminator at `end`.
static inline void SetChildLists(ThreadRecord* t, int ply, MoveEntry* end) {
    if (ply + 2 < MAX_PLY + 2) {
        t->stack[ply + 1].list = end + 1;
        t->stack[ply + 2].list = end + 2;
    }
}

static inline MoveEntry* AddQuiet(const Position* pos, MoveEntry* out, int from, int to) {
    out->move = MakeMoveCode(from, to);
    out->score = 100;
    out->piece = pos->board[from];
    out->captured = 0;
    return out + 1;
}

// Quiet moves that give a direct check, then the remaining single steps of
// pawns on the sixth rank, all scored 100.
static MoveEntry* GenerateQuietChecks(const Position* pos, int s, MoveEntry* out) {
    Bitboard occ = pos->bb[0] | pos->bb[8];
    Bitboard empty = ~occ;
    int k = pos->king_sq[s ^ 1];
    int dir = pawn_dir[s];
    Bitboard pawns = pos->bb[8 * s + PAWN];
    Bitboard pawn_targets = BB_PawnRays[s ^ 1][k] & empty;
    Bitboard start_rank = s == WHITE ? BB_Rank[1] : BB_Rank[6];

    for (Bitboard b = pawns; b; b = ClearLSB(b)) {
        int from = LSB(b);
        int to = from + dir;
        if (to >= 0 && to < 64 && (pawn_targets & SqBit(to))) out = AddQuiet(pos, out, from, to);
    }
    for (Bitboard b = pawns & start_rank; b; b = ClearLSB(b)) {
        int from = LSB(b);
        int to = from + 2 * dir;
        if ((empty & SqBit(from + dir)) && (pawn_targets & SqBit(to))) out = AddQuiet(pos, out, from, to);
    }
    for (Bitboard b = pos->bb[8 * s + KNIGHT]; b; b = ClearLSB(b)) {
        int from = LSB(b);
        for (Bitboard t = BB_KnightRays[from] & BB_KnightRays[k] & empty; t; t = ClearLSB(t))
            out = AddQuiet(pos, out, from, LSB(t));
    }
    Bitboard diag = 0, straight = 0;
    Bitboard queens = pos->bb[8 * s + QUEEN];
    if (pos->bb[8 * s + BISHOP] | queens) diag = BishopAttacks(k, occ) & empty;
    if (pos->bb[8 * s + ROOK] | queens) straight = RookAttacks(k, occ) & empty;
    if (diag)
        for (Bitboard b = pos->bb[8 * s + BISHOP]; b; b = ClearLSB(b)) {
            int from = LSB(b);
            for (Bitboard t = BishopAttacks(from, occ) & diag; t; t = ClearLSB(t))
                out = AddQuiet(pos, out, from, LSB(t));
        }
    if (straight)
        for (Bitboard b = pos->bb[8 * s + ROOK]; b; b = ClearLSB(b)) {
            int from = LSB(b);
            for (Bitboard t = RookAttacks(from, occ) & straight; t; t = ClearLSB(t))
                out = AddQuiet(pos, out, from, LSB(t));
        }
    for (Bitboard b = queens; b; b = ClearLSB(b)) {
        int from = LSB(b);
        for (Bitboard t = QueenAttacks(from, occ) & (diag | straight); t; t = ClearLSB(t))
            out = AddQuiet(pos, out, from, LSB(t));
    }
    for (Bitboard b = pawns & BB_r6[s]; b; b = ClearLSB(b)) {
        int from = LSB(b);
        int to = from + dir;
        if ((empty & SqBit(to)) && !(pawn_targets & SqBit(to))) out = AddQuiet(pos, out, from, to);
    }
    return out;
}

// Rule for captures and promotions under the full-search ordering.
static void ScoreCapturesFull(Position* pos, MoveEntry* e, MoveEntry* end) {
    for (; e < end; e++) {
        int ct = e->captured & 7;
        int s = capture_value[ct] - (e->piece & 7);
        if (ct != KING) {
            int x = ExchangeEstimate(pos, e->move);
            if (x < -49) s = ct + 4;
            else if (x < 50) s -= 6;
        }
        if (e->move & (PROMO_KNIGHT | PROMO_BISHOP | PROMO_ROOK)) s = 15;
        e->score = (int16_t)s;
    }
}

void ScoreCapturesPlain(MoveEntry* e, MoveEntry* end) {
    for (; e < end; e++) e->score = (int16_t)(capture_value[e->captured & 7] - (e->piece & 7));
}

static void ScoreQuiets(const ThreadRecord* t, int ply, MoveEntry* e, MoveEntry* end) {
    if (ply <= 1) {
        // The root orders its own list; here any fixed score will do.
        for (; e < end; e++) e->score = 0;
        return;
    }
    const SearchStackEntry* st = &t->stack[ply];
    const MoveEntry* prev = t->stack[ply - 1].next;
    const MoveEntry* prev2 = t->stack[ply - 2].next;
    int prev_type = PrevType(prev);
    Move c1 = 0, c2 = 0, fu = 0;
    if (prev->move) {
        int pc = prev->piece & 15, to = MoveTo(prev->move);
        c1 = t->counter_move[pc][to];
        c2 = t->counter_move2[pc][to];
        if (prev2->move) fu = t->followup_move[prev2->piece & 15][MoveTo(prev2->move)];
    }
    bool in_check = st->checker != NO_SQ;
    for (; e < end; e++) {
        Move m = e->move;
        int s = HistoryScore(t, prev_type, e);
        if (!in_check) {
            if (m == st->killer1) s += 60;
            else if (m == st->killer2) s += 55;
            else if (c1 && m == c1) s += 50;
            else if (c2 && m == c2) s += 45;
            else if (fu && m == fu) s += 40;
        } else {
            if (m == st->killer3) s += 60;
            else if (c1 && m == c1) s += 55;
            else if (c2 && m == c2) s += 50;
        }
        e->score = (int16_t)s;
    }
}

enum : int { STAGE_DONE = 15 };

MoveEntry* GetNextMove(Position* pos) {
    ThreadRecord* t = pos->owner;
    int ply = t->ply;
    SearchStackEntry* st = &t->stack[ply];
    const int flags = st->stage & ~PICK_STAGE_MASK;
    int stage = st->stage & PICK_STAGE_MASK;
    const int s = pos->side;
    MoveEntry* cur;
    MoveEntry* end;

    if (stage == STAGE_DONE) return nullptr;
    if (stage == 0) {
        cur = st->list;
        st->next = cur;
        if ((flags & PICK_HASH_FIRST) && st->hash_move) {
            Move hm = st->hash_move;
            cur->move = hm;
            cur->score = 255;
            cur->piece = pos->board[MoveFrom(hm)];
            cur->captured = pos->board[MoveTo(hm)];
            cur[1].move = MOVE_END;
            // Deeper plies must not write over this ply's list.
            SetChildLists(t, ply, cur + 1);
            st->stage = (uint16_t)(flags | 1);
            return cur;
        }
        stage = 1;
    } else {
        cur = ++st->next;
    }

    for (;;) {
        switch (stage) {
        case 1:
            end = GenerateCaptures(pos, s, cur, st->checker);
            end = GeneratePromotions(pos, s, (flags & PICK_FULL) ? 1 : 0, end);
            end->move = MOVE_END;
            SetChildLists(t, ply, end);
            if (flags & PICK_FULL) {
                ScoreCapturesFull(pos, cur, end);
                stage = 4;
            } else {
                ScoreCapturesPlain(cur, end);
                stage = 2;
            }
            break;
        case 2: {
            MoveEntry* e = SelectBest(cur, &end);
            if (e) {
                st->stage = (uint16_t)(flags | 2);
                return e;
            }
            if (!(flags & PICK_QUIET_CHECKS)) {
                st->stage = (uint16_t)(flags | STAGE_DONE);
                return nullptr;
            }
            end = GenerateQuietChecks(pos, s, cur);
            end->move = MOVE_END;
            SetChildLists(t, ply, end);
            stage = 7;
            break;
        }
        case 4: {
            MoveEntry* e = SelectBest(cur, &end);
            if (e && e->score > 150) {
                st->stage = (uint16_t)(flags | 4);
                return e;
            }
            MoveEntry* q = end;
            end = GenerateQuiets(pos, s, q, st->checker);
            end->move = MOVE_END;
            SetChildLists(t, ply, end);
            ScoreQuiets(t, ply, q, end);
            stage = 6;
            break;
        }
        case 6: {
            MoveEntry* e = SelectBest(cur, &end);
            if (!e) {
                st->stage = (uint16_t)(flags | STAGE_DONE);
                return nullptr;
            }
            st->stage = (uint16_t)(flags | (e->score > 2 ? 6 : 7));
            return e;
        }
        case 7:
            if (cur->move == MOVE_END) {
                st->stage = (uint16_t)(flags | STAGE_DONE);
                return nullptr;
            }
            st->stage = (uint16_t)(flags | 7);
            return cur;
        default:
            st->stage = (uint16_t)(flags | STAGE_DONE);
            return nullptr;
        }
    }
}

void UpdateOrdering(ThreadRecord* t, int ply, int depth, const MoveEntry* e, bool raised_alpha) {
    int d = depth < 8 ? depth : 8;
    SearchStackEntry* st = &t->stack[ply];
    const MoveEntry* prev = ply >= 1 ? t->stack[ply - 1].next : nullptr;
    const MoveEntry* prev2 = ply >= 2 ? t->stack[ply - 2].next : nullptr;
    int prev_type = prev ? PrevType(prev) : 0;
    Move m = e->move;
    int pc = e->piece & 15, to = MoveTo(m);
    int16_t* h0 = &t->history[0][pc][to];
    int16_t* h1 = &t->history[prev_type][pc][to];
    if (!raised_alpha) {
        int p = -8 * d;
        *h0 = (int16_t)(*h0 + *h0 * p / 2048);
        *h1 = (int16_t)(*h1 + *h1 * p / 2048);
        return;
    }
    int b = 16 * d;
    *h0 = (int16_t)(*h0 + (16384 - *h0) * b / 2048);
    *h1 = (int16_t)(*h1 + (16384 - *h1) * b / 2048);
    if (!st->in_check) {
        if (m != st->killer1) {
            st->killer2 = st->killer1;
            st->killer1 = m;
        }
    } else {
        st->killer3 = m;
    }
    if (prev && prev->move) {
        int ppc = prev->piece & 15, pto = MoveTo(prev->move);
        if (m != t->counter_move[ppc][pto]) {
            t->counter_move2[ppc][pto] = t->counter_move[ppc][pto];
            t->counter_move[ppc][pto] = m;
        }
        if (prev2 && prev2->move) t->followup_move[prev2->piece & 15][MoveTo(prev2->move)] = m;
    }
}

void ResetOrdering(ThreadRecord* t) {
    for (int i = 0; i < MAX_PLY + 2; i++) {
        SearchStackEntry& s = t->stack[i];
        s.hash_move = 0;
        s.killer1 = s.killer2 = s.killer3 = 0;
    }
    for (auto& layer : t->history)
        for (auto& row : layer)
            for (auto& h : row) h = 2048;
    for (int p = 0; p < 16; p++)
        for (int sq = 0; sq < 64; sq++)
            t->counter_move[p][sq] = t->counter_move2[p][sq] = t->followup_move[p][sq] = 0;
}
