// Pawn maps, pawn structure, blocked pawns, passed pawns and candidate pawns.
#include "board/see.h"
#include "eval/evalterms.h"

namespace {

Bitboard FillNorth(Bitboard b) {
    b |= b << 8;
    b |= b << 16;
    b |= b << 32;
    return b;
}
Bitboard FillSouth(Bitboard b) {
    b |= b >> 8;
    b |= b >> 16;
    b |= b >> 32;
    return b;
}

Bitboard SideSpan(Bitboard fill) { return ((fill & ~FILE_A_BB) >> 1) | ((fill & ~FILE_H_BB) << 1); }

int ClampedSquare(int sq) {
    int f = std::min(std::max(sq & 7, 1), 6), r = std::min(std::max(sq >> 3, 1), 6);
    return 8 * r + f;
}

Bitboard FilesAround(int file) {
    return BB_File[file] | BB_AdjacentFiles[file];
}

constexpr Bitboard FILES_B_TO_G = ~(FILE_A_BB | FILE_H_BB);

}  // namespace

void BuildPawnMaps(EvalWork* w) {
    const Position* pos = w->pos;
    Bitboard wp = pos->bb[PAWN], bp = pos->bb[8 + PAWN];
    w->front_fill[WHITE] = FillNorth(wp << 8);
    w->front_fill[BLACK] = FillSouth(bp >> 8);
    for (int c = 0; c < 2; c++) w->pawn_attack_span[c] = SideSpan(w->front_fill[c]);
    w->passed = (wp & ~(w->front_fill[BLACK] | w->pawn_attack_span[BLACK])) |
                (bp & ~(w->front_fill[WHITE] | w->pawn_attack_span[WHITE]));
    w->half_free = ((wp & ~w->front_fill[BLACK]) | (bp & ~w->front_fill[WHITE])) & ~w->passed;
    w->outposts[WHITE] = 0x00007E7E00000000ULL & ~w->pawn_attack_span[BLACK];
    w->outposts[BLACK] = 0x000000007E7E0000ULL & ~w->pawn_attack_span[WHITE];
    w->rammed[WHITE] = wp & FILES_B_TO_G & (bp >> 8);
    w->rammed[BLACK] = bp & FILES_B_TO_G & (wp << 8);

    int kf[2];
    for (int c = 0; c < 2; c++) {
        Bitboard pawns = pos->bb[8 * c + PAWN];
        int ksq = pos->king_sq[c];
        Bitboard patt = PawnAttacksOf(pawns, c);
        Bitboard katt = BB_KingRays[ksq];
        Bitboard twice = c == WHITE ? ((pawns & ~FILE_A_BB) << 7) & ((pawns & ~FILE_H_BB) << 9)
                                    : ((pawns & ~FILE_H_BB) >> 7) & ((pawns & ~FILE_A_BB) >> 9);
        for (int t = 0; t < 8; t++) w->attacks[c][t] = 0;
        w->attacks[c][PAWN] = patt;
        w->attacks[c][KING] = katt;
        w->attacks[c][0] = patt | katt;
        w->attacked2[c] = twice | (patt & katt);
        int cs = ClampedSquare(ksq);
        w->king_zone[c] = BB_KingRays[cs] | SqBit(cs);
        kf[c] = cs & 7;
        for (int t = 0; t < 8; t++) w->king_attackers[c][t] = 0;
        w->safe_checks[c] = 0;
    }
    for (int c = 0; c < 2; c++)
        w->mobility_area[c] =
            ~(pos->bb[8 * c + KING] | pos->bb[8 * c + PAWN] | w->attacks[c ^ 1][PAWN]);
    w->king_wing = FilesAround(kf[WHITE]) | FilesAround(kf[BLACK]);
}

void PawnStructure(EvalWork* w, ScorePair sums[2]) {
    const Position* pos = w->pos;
    for (int c = 0; c < 2; c++) {
        int o = c ^ 1;
        Bitboard own = pos->bb[8 * c + PAWN], enemy = pos->bb[8 * o + PAWN];
        ScorePair sum = 0;
        for (Bitboard b = own; b; b = ClearLSB(b)) {
            int s = LSB(b), t = s ^ flip_sq[c], file = s & 7;
            ScorePair v = PST_pawn[t];
            if (own & BB_File[file] & ~SqBit(s)) SpAddTo(v, pawn_doubled);
            int stop = s + pawn_dir[c];
            if (!((w->pawn_attack_span[c] >> stop) & 1)) {
                SpAddTo(v, pawn_backward);
                if (!(own & BB_AdjacentFiles[file])) SpAddTo(v, pawn_isolated);
                Bitboard front = c == WHITE ? BB_RayN[s] : BB_RayS[s];
                if (!(enemy & front)) SpAddTo(v, pawn_weak);
            }
            if (own & BB_AdjacentSquares[s]) SpAddTo(v, connected_pawn[t]);
            if (own & BB_PawnRays[o][s]) SpAddTo(v, defended_pawn[t]);
            SpAddTo(sum, v);
            if (w->trace) {
                int tv = Taper(v, w->phase);
                PBlock.eval_trace.square[s] = (int16_t)(PBlock.eval_trace.square[s] + tv);
            }
        }
        sums[c] = sum;
        if (w->trace) PBlock.eval_trace.pawns[c] = (int16_t)Taper(sum, w->phase);
    }
}

void EvalBlockedPawns(EvalWork* w) {
    const Position* pos = w->pos;
    Bitboard wp = pos->bb[PAWN], bp = pos->bb[8 + PAWN];
    Bitboard wb = wp & (w->occ >> 8), bb = bp & (w->occ << 8);
    const Bitboard c2f2 = 0x3CULL << 8, c7f7 = 0x3CULL << 48;
    ScorePair inner = MakeScore(-6, -6);
    SpAddTo(w->positional[WHITE],
            SpAdd(SpMul(pawn_blocked, PopCount(wb)), SpMul(inner, PopCount(wb & c2f2))));
    SpAddTo(w->positional[BLACK],
            SpAdd(SpMul(pawn_blocked, PopCount(bb)), SpMul(inner, PopCount(bb & c7f7))));
}

int PassedPushGain(Position* pos, Bitboard occ, int c, int s, int target, int* v) {
    const int o = c ^ 1;
    const int pcode = 8 * c + PAWN;
    const uint8_t on_target = pos->board[target];
    const Bitboard pawn_bb = pos->bb[pcode];
    *v = piece_value[on_target & 7];

    // Lift the pawn and stand it on the target square.
    pos->board[s] = 0;
    pos->bb[pcode] &= ~SqBit(s);
    pos->board[target] = (uint8_t)pcode;
    occ &= ~SqBit(s);

    int gain = 0;
    int a = GetAtakr(pos, target, o, occ);
    if (a != NO_SQ) {
        gain = piece_value[PAWN];
        const int acode = pos->board[a];
        const Bitboard a_bb = pos->bb[acode];
        pos->board[target] = (uint8_t)acode;
        pos->board[a] = 0;
        pos->bb[acode] &= ~SqBit(a);
        Bitboard occ1 = occ & ~SqBit(a);
        int r = GetAtakr(pos, target, c, occ1);
        if (r != NO_SQ) {
            if ((acode & 7) == KING) {
                gain = piece_value[PAWN] - 9999;
            } else {
                // c recaptures; o may go on with the cheapest exchange or stop.
                const int rcode = pos->board[r];
                const Bitboard r_bb = pos->bb[rcode];
                pos->board[target] = (uint8_t)rcode;
                pos->board[r] = 0;
                pos->bb[rcode] &= ~SqBit(r);
                int x = swapoff1(pos, o, NO_SQ, target, occ1 & ~SqBit(r), 1);
                gain = x < 0 ? piece_value[PAWN] : piece_value[PAWN] - (piece_value[acode & 7] - x);
                pos->bb[rcode] = r_bb;
                pos->board[r] = (uint8_t)rcode;
            }
        }
        pos->bb[acode] = a_bb;
        pos->board[a] = (uint8_t)acode;
    }

    pos->board[target] = on_target;
    pos->board[s] = (uint8_t)pcode;
    pos->bb[pcode] = pawn_bb;
    return gain < 0 ? 0 : gain;
}

void EvalPassedPawns(EvalWork* w) {
    Position* pos = w->pos;
    for (int c = 0; c < 2; c++) {
        const int o = c ^ 1, dir = pawn_dir[c];
        const Bitboard own_pawns = pos->bb[8 * c + PAWN];
        int trace_sum = 0;
        for (Bitboard b = w->passed & own_pawns; b; b = ClearLSB(b)) {
            const int s = LSB(b), r = RelRank(s, c);
            if (r == 0 || r == 7) continue;  // never on a legal board
            const int push = s + dir, promo = (s & 7) + (c == WHITE ? 56 : 0);
            int bonus = ppawn1[r];
            bool safe = false;
            int target = push;
            bool can_push = pos->board[push] == 0;
            if (can_push) {
                if (r == 1) target = push + dir;
                int target_rank = RelRank(target, c);
                // A king on the double-step square stops the test: the advance
                // is then not counted as safe.
                if (target_rank >= 3 && (pos->board[target] & 7) != KING) {
                    int v;
                    int gain = PassedPushGain(pos, w->occ, c, s, target, &v);
                    safe = gain == v;
                }
                if (safe) {
                    bonus = ppawn2[r];
                    w->eval_alert[o] += 2 << target_rank;
                    Bitboard front = c == WHITE ? BB_RayN[s] : BB_RayS[s];
                    if (!(front & w->attacks[o][0]) && !(front & pos->bb[8 * o] & ~w->attacks[c][0])) {
                        bonus += (bonus + 64) / 8;
                        w->eval_alert[o] += 6 << target_rank;
                        w->free_pawns |= SqBit(s);
                        if (pos->npm[o] == 0 &&
                            Dist(pos->king_sq[o], promo) > 8 - r - (w->side == c ? 1 : 0))
                            bonus += 16 * target_rank;
                    }
                }
            }
            if ((w->attacks[c][PAWN] >> s) & 1) bonus += bonus / 4;

            int op = 11 * bonus;
            int dsq = can_push ? target : push;
            if (r < 6) dsq += dir;
            int m = safe ? RelRank(target, c) : r;
            int eg = bonus + ((24 * Dist(pos->king_sq[o], dsq) - 16 * Dist(pos->king_sq[c], dsq)) * m) / 8;
            if (!(BB_Between[s][promo] & own_pawns)) {
                op /= 16;
            } else {
                op /= 32;
                eg /= 2;
            }
            ScorePair v = MakeScore(op, eg);
            AddTerm(w, c, v, nullptr, s);
            if (w->trace) trace_sum += Taper(v, w->phase);
        }
        if (w->trace) PBlock.eval_trace.passers[c] = (int16_t)(PBlock.eval_trace.passers[c] + trace_sum);
    }
}

void EvalCandidatePawns(EvalWork* w) {
    if (w->phase < 12) return;
    const Position* pos = w->pos;
    for (int c = 0; c < 2; c++) {
        const int o = c ^ 1, dir = pawn_dir[c];
        for (Bitboard b = w->half_free & pos->bb[8 * c + PAWN]; b; b = ClearLSB(b)) {
            const int s = LSB(b), r = RelRank(s, c);
            if (r < 3 || r > 5) continue;  // a half-free pawn on its seventh rank is passed
            int stoppers = PopCount(pos->bb[8 * o + PAWN] & BB_PawnSpan[c][s + dir]);
            int supporters = PopCount(pos->bb[8 * c + PAWN] & BB_AdjacentSquares[s]);
            if (stoppers > supporters || pos->board[s + dir]) continue;
            int d = Dist(pos->king_sq[o], s + 2 * dir);
            int eg = ((r - 2) * 32 + 24 * d) * ScoreEg(candidate_pawn) / 256;
            ScorePair v = MakeScore(0, eg);
            AddTerm(w, c, v, nullptr, s);
            if (w->trace)
                PBlock.eval_trace.passers[c] = (int16_t)(PBlock.eval_trace.passers[c] + Taper(v, w->phase));
        }
    }
}
