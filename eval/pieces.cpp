// Pins, the knights, bishops, rooks and queens, and the threat terms.
#include "eval/evalterms.h"

namespace {

// Pieces standing alone between the target square and an enemy slider.
Bitboard PinnedTo(const EvalWork* w, int target, Bitboard line_sliders, Bitboard diag_sliders) {
    Bitboard marked = 0;
    for (Bitboard b = (line_sliders & BB_RookRays[target]) | (diag_sliders & BB_BishopRays[target]); b;
         b = ClearLSB(b)) {
        Bitboard between = BB_Between[target][LSB(b)] & w->occ;
        if (between && !ClearLSB(between)) marked |= between;
    }
    return marked;
}

// Records the attacks of one piece in its side's maps.
inline void NoteAttacks(EvalWork* w, int c, int type, Bitboard a, Bitboard twice_from, Bitboard zone_from) {
    w->attacked2[c] |= twice_from & w->attacks[c][0];
    w->attacks[c][0] |= a;
    w->attacks[c][type] |= a;
    if (zone_from & w->king_zone[c ^ 1]) w->king_attackers[c][type]++;
}

inline ScorePair MinusOp(int v) { return MakeScore(-v, 0); }

constexpr Bitboard ENEMY_HALF[2] = {0xFFFFFFFF00000000ULL, 0x00000000FFFFFFFFULL};
constexpr Bitboard ENEMY_BACK2[2] = {0xFFFF000000000000ULL, 0x000000000000FFFFULL};

// Files toward the centre that trap a rook on file a, b, g or h.
Bitboard TrapFiles(int file) {
    switch (file) {
    case 0: return BB_File[1] | BB_File[2];
    case 1: return BB_File[2];
    case 6: return BB_File[5];
    case 7: return BB_File[5] | BB_File[6];
    default: return 0;
    }
}

void Knights(EvalWork* w, int c) {
    const Position* pos = w->pos;
    for (Bitboard b = pos->bb[8 * c + KNIGHT]; b; b = ClearLSB(b)) {
        int s = LSB(b), t = s ^ flip_sq[c];
        Bitboard a = BB_KnightRays[s];
        NoteAttacks(w, c, KNIGHT, a, a, a);
        int mob = (w->pinned >> s) & 1 ? 0 : PopCount(a & w->mobility_area[c]);
        ScorePair v = SpAdd(knight_mobility[mob], PST_knight[t]);
        if (!(a & w->king_wing)) SpAddTo(v, MinusOp(8));
        if ((w->outposts[c] >> s) & 1) {
            SpAddTo(v, knight_outpost);
            if ((w->attacks[c][PAWN] >> s) & 1) SpAddTo(v, knight_outpost_xtra);
        } else if (a & w->outposts[c]) {
            SpAddTo(v, knight_outpost_xtra);
        }
        if (mob < 2 && RelRank(s, c) == 7) w->eval_alert[c] += 250;
        AddTerm(w, c, v, PBlock.eval_trace.knights, s);
    }
}

void Bishops(EvalWork* w, int c) {
    const Position* pos = w->pos;
    Bitboard own_queens = pos->bb[8 * c + QUEEN];
    for (Bitboard b = pos->bb[8 * c + BISHOP]; b; b = ClearLSB(b)) {
        int s = LSB(b), t = s ^ flip_sq[c];
        Bitboard a = BishopAttacks(s, w->occ & ~own_queens);
        NoteAttacks(w, c, BISHOP, a, a, a);
        int area = 0, mob = 0;
        if (!((w->pinned >> s) & 1)) {
            area = PopCount(a & w->mobility_area[c]);
            mob = std::min(area + PopCount(a & CENTRE_BB), 21);
        }
        ScorePair v = SpAdd(PST_bishop[t], bishop_mobility[mob]);
        if ((w->outposts[c] >> s) & 1) SpAddTo(v, bishop_outpost);
        else if (a & w->outposts[c]) SpAddTo(v, bishop_outpost_xtra);
        Bitboard colour = sq_color[s] == 0 ? LIGHT_SQUARES : DARK_SQUARES;
        SpAddTo(v, SpMul(bishop_rammed_pawns, PopCount(w->rammed[c] & colour)));
        if (area < 2 && RelRank(s, c) == 7) w->eval_alert[c] += 250;
        AddTerm(w, c, v, PBlock.eval_trace.bishops, s);
    }
}

void Rooks(EvalWork* w, int c) {
    const Position* pos = w->pos;
    const int o = c ^ 1;
    Bitboard own_pawns = pos->bb[8 * c + PAWN], enemy_pawns = pos->bb[8 * o + PAWN];
    Bitboard see_through = pos->bb[8 * c + ROOK] | pos->bb[8 * c + QUEEN];
    for (Bitboard b = pos->bb[8 * c + ROOK]; b; b = ClearLSB(b)) {
        int s = LSB(b), t = s ^ flip_sq[c], file = s & 7;
        Bitboard a = RookAttacks(s, w->occ & ~see_through);
        NoteAttacks(w, c, ROOK, a, a, a);
        int mob = 0;
        bool low = true;
        if (!((w->pinned >> s) & 1)) {
            int m = PopCount(a & w->mobility_area[c]);
            low = m < 5;
            mob = std::min(m + PopCount(a & BB_File[file] & ENEMY_HALF[c]), 21);
        }
        ScorePair v = SpAdd(PST_rook[t], rook_mobility[mob]);
        if (!(own_pawns & BB_File[file]))
            SpAddTo(v, (enemy_pawns & BB_File[file]) ? rook_half_open_file : rook_open_file);
        if (low && (TrapFiles(file) & BB_Rank[s >> 3] & (own_pawns | pos->bb[8 * c + KING])))
            SpAddTo(v, rook_trapped);
        if (RelRank(s, c) == 6 && (ENEMY_BACK2[c] & (enemy_pawns | pos->bb[8 * o + KING])))
            SpAddTo(v, rook_rank7);
        AddTerm(w, c, v, PBlock.eval_trace.rooks, s);
    }
}

void Queens(EvalWork* w, int c) {
    const Position* pos = w->pos;
    Bitboard own_bishops = pos->bb[8 * c + BISHOP], own_rooks = pos->bb[8 * c + ROOK];
    for (Bitboard b = pos->bb[8 * c + QUEEN]; b; b = ClearLSB(b)) {
        int s = LSB(b), t = s ^ flip_sq[c];
        Bitboard diag = BishopAttacks(s, w->occ), line = RookAttacks(s, w->occ);
        Bitboard n = diag | line, x = n;
        if (diag & own_bishops) x |= BishopAttacks(s, w->occ & ~own_bishops);
        if (line & own_rooks) x |= RookAttacks(s, w->occ & ~own_rooks);
        NoteAttacks(w, c, QUEEN, n, x, x);
        int mob = (w->pinned >> s) & 1 ? 0 : PopCount(x & w->mobility_area[c]);
        ScorePair v = SpAdd(queen_mobility[mob], PST_queen[t]);
        if (!(x & w->king_wing)) SpAddTo(v, MakeScore(-10, -10));
        AddTerm(w, c, v, PBlock.eval_trace.queens, s);
    }
}

}  // namespace

void FindPins(EvalWork* w) {
    const Position* pos = w->pos;
    Bitboard pinned = 0;
    for (int c = 0; c < 2; c++) {
        const int o = c ^ 1;
        Bitboard rooks = pos->bb[8 * o + ROOK], bishops = pos->bb[8 * o + BISHOP],
                 queens = pos->bb[8 * o + QUEEN];
        Bitboard marked = PinnedTo(w, pos->king_sq[c], rooks | queens, bishops | queens);
        Bitboard own_queens = pos->bb[8 * c + QUEEN];
        if (own_queens) marked |= PinnedTo(w, LSB(own_queens), rooks, bishops);
        pinned |= marked & pos->bb[8 * c];
    }
    w->pinned = pinned;
}

void EvalPieces(EvalWork* w) {
    for (int c = 0; c < 2; c++) Knights(w, c);
    for (int c = 0; c < 2; c++) Bishops(w, c);
    for (int c = 0; c < 2; c++) Rooks(w, c);
    for (int c = 0; c < 2; c++) Queens(w, c);
}

void EvalThreats(EvalWork* w) {
    const Position* pos = w->pos;
    for (int c = 0; c < 2; c++) {
        const int o = c ^ 1;
        const Bitboard Ac = w->attacks[c][0], Ao = w->attacks[o][0];
        if (!(pos->bb[8 * c] & Ao)) continue;
        const Bitboard Pc = w->attacks[c][PAWN], Po = w->attacks[o][PAWN];
        const Bitboard Dc = w->attacked2[c], Do = w->attacked2[o];
        Bitboard weak = (Do & ~(Pc | Dc)) | (Ao & ~Ac);
        Bitboard pawns = pos->bb[8 * c + PAWN];
        Bitboard minors = pos->bb[8 * c + KNIGHT] | pos->bb[8 * c + BISHOP];
        Bitboard rooks = pos->bb[8 * c + ROOK], queens = pos->bb[8 * c + QUEEN];

        Bitboard hung_pawns = pawns & weak & ~Po;
        Bitboard minor = w->attacks[o][KNIGHT] | w->attacks[o][BISHOP] | Po;
        Bitboard hung_pieces = (rooks & (minor | weak)) | (queens & (w->attacks[o][ROOK] | minor)) |
                               (minors & (weak | Po));
        Bitboard attacked = (((minors | rooks) & Ao) | (pawns & Ao & ~Po)) & ~hung_pawns & ~hung_pieces & ~Pc;

        int np = PopCount(hung_pawns), nq = PopCount(hung_pieces);
        ScorePair v = SpMul(attacked_piece, PopCount(attacked));
        SpAddTo(v, SpMul(hung_piece, nq));
        SpAddTo(v, SpMul(hung_pawn, np));
        if (np + nq >= 2) SpAddTo(v, multiple_hung);
        AddTerm(w, c, v, nullptr, 64);
        w->eval_alert[c] += 64 * (np + 4 * nq);
        w->hung |= hung_pawns | hung_pieces;
    }
}

void EvalPawnPushThreats(EvalWork* w) {
    const Position* pos = w->pos;
    const Bitboard empty = ~w->occ;
    for (int c = 0; c < 2; c++) {
        const int o = c ^ 1;
        Bitboard pawns = pos->bb[8 * c + PAWN];
        Bitboard single, pushes;
        if (c == WHITE) {
            single = (pawns << 8) & empty;
            pushes = single | (((single & BB_Rank[2]) << 8) & empty);
        } else {
            single = (pawns >> 8) & empty;
            pushes = single | (((single & BB_Rank[5]) >> 8) & empty);
        }
        Bitboard safe = pushes & (~w->attacks[o][0] | w->attacks[c][PAWN] | w->attacked2[c]);
        Bitboard targets = PawnAttacksOf(safe, c) & pos->bb[8 * o] & ~pos->bb[8 * o + PAWN];
        if (targets) AddTerm(w, o, SpMul(threat_pawn_push, PopCount(targets)), nullptr, 64);
    }
}
