// Attack, check and legality tests. Slider attacks are answered with the
// ray tables and the between-squares test, never by building attack sets.
#include "board/attacks.h"

#include "board/movegen.h"
#include "board/tables.h"

// 1 when some slider of `sliders` on `rays` sees sq through `occ`.
static inline int SliderSees(Bitboard sliders, int sq, Bitboard occ) {
    for (; sliders; sliders = ClearLSB(sliders))
        if (!(BB_Between[sq][LSB(sliders)] & occ)) return 1;
    return 0;
}

int SqAtakd(const Position* pos, int sq, int side) {
    const Bitboard* b = pos->bb + 8 * side;
    if (BB_PawnRays[side ^ 1][sq] & b[PAWN]) return 1;
    if (BB_KnightRays[sq] & b[KNIGHT]) return 1;
    if (BB_KingRays[sq] & b[KING]) return 1;
    const Bitboard occ = pos->bb[0] | pos->bb[8];
    if (SliderSees(BB_BishopRays[sq] & (b[BISHOP] | b[QUEEN]), sq, occ)) return 1;
    if (SliderSees(BB_RookRays[sq] & (b[ROOK] | b[QUEEN]), sq, occ)) return 1;
    return 0;
}

int MoveIsLegal(Position* pos, int s, Move m) {
    const int k = pos->king_sq[s], o = s ^ 1;
    const int from = MoveFrom(m), to = MoveTo(m);
    if (from == k && (to == from + 2 || to == from - 2))
        return !(SqAtakd(pos, from, o) || SqAtakd(pos, to, o) || SqAtakd(pos, (from + to) / 2, o));

    const Bitboard fromto = SqBit(from) | SqBit(to);
    const int victim = pos->board[to];
    int ep_sq = NO_SQ;
    if (to == pos->ep && PieceType(pos->board[from]) == PAWN) {
        ep_sq = to - pawn_dir[s];
        pos->bb[8 * o + PAWN] ^= SqBit(ep_sq);
        pos->bb[8 * o] ^= SqBit(ep_sq);
    } else if (victim) {
        pos->bb[victim] ^= SqBit(to);
        pos->bb[8 * o] ^= SqBit(to);
    }
    pos->bb[8 * s] ^= fromto;

    int legal = (from == k) ? !SqAtakd(pos, to, o) : !SqAtakd(pos, k, o);

    pos->bb[8 * s] ^= fromto;
    if (ep_sq != NO_SQ) {
        pos->bb[8 * o + PAWN] ^= SqBit(ep_sq);
        pos->bb[8 * o] ^= SqBit(ep_sq);
    } else if (victim) {
        pos->bb[victim] ^= SqBit(to);
        pos->bb[8 * o] ^= SqBit(to);
    }
    return legal;
}

int HashMoveIsLegal(const Position* pos, int s, Move m) {
    const int from = MoveFrom(m), to = MoveTo(m), o = s ^ 1;
    const int mover = pos->board[from];
    const int target = pos->board[to];
    const int t = PieceType(target);
    if (!(pos->bb[8 * s] & SqBit(from))) return 0;
    if (pos->bb[8 * s] & SqBit(to)) return 0;
    if (t == KING) return 0;
    if (t && !(pos->bb[8 * o + t] & SqBit(to))) return 0;

    const Move promo = m & PROMO_ANY;
    const int mtype = PieceType(mover);
    const bool last_rank = ((to ^ flip_sq[s]) >> 3) == 7;
    if (promo) {
        if (promo & (promo - 1)) return 0;  // more than one promotion flag
        if (mtype != PAWN || !last_rank) return 0;
    } else if (mtype == PAWN && last_rank) {
        return 0;  // a pawn reaching its last rank must promote
    }

    const Bitboard occ = pos->bb[0] | pos->bb[8];
    switch (mtype) {
    case KNIGHT:
        return (BB_KnightRays[from] & SqBit(to)) != 0;
    case BISHOP:
        return (BB_BishopRays[from] & SqBit(to)) && !(BB_Between[from][to] & occ);
    case ROOK:
        return (BB_RookRays[from] & SqBit(to)) && !(BB_Between[from][to] & occ);
    case QUEEN:
        return ((BB_BishopRays[from] | BB_RookRays[from]) & SqBit(to)) && !(BB_Between[from][to] & occ);
    case KING: {
        if (BB_KingRays[from] & SqBit(to)) return 1;
        if (from != init_king_sq[s] || pos->king_sq[s] != from) return 0;
        const int rook = 8 * s + ROOK;
        if (to == from + 2) {
            if (!(pos->castle & (s ? 4 : 1))) return 0;
            if (occ & (SqBit(from + 1) | SqBit(from + 2))) return 0;
            if (pos->board[from + 3] != rook) return 0;
        } else if (to == from - 2) {
            if (!(pos->castle & (s ? 8 : 2))) return 0;
            if (occ & (SqBit(from - 1) | SqBit(from - 2) | SqBit(from - 3))) return 0;
            if (pos->board[from - 4] != rook) return 0;
        } else {
            return 0;
        }
        return !(SqAtakd(pos, from, o) || SqAtakd(pos, to, o) || SqAtakd(pos, (from + to) / 2, o));
    }
    case PAWN: {
        const int d = pawn_dir[s];
        if (BB_PawnRays[s][from] & SqBit(to)) {
            if (to != pos->ep) return t != 0;
            return target == 0 && pos->board[to - d] == 8 * o + PAWN;
        }
        if (to == from + d) return target == 0;
        if (to == from + 2 * d)
            return ((from ^ flip_sq[s]) >> 3) == 1 && target == 0 && pos->board[from + d] == 0;
        return 0;
    }
    default:
        return 0;
    }
}

int MoveGivesCheck(const Position* pos, int s, const MoveEntry* e) {
    const Move m = e->move;
    const int from = MoveFrom(m), to = MoveTo(m);
    const int K = pos->king_sq[s ^ 1];
    const Bitboard occ = pos->bb[0] | pos->bb[8];
    // The mover has left its square: a piece that checks along the line it
    // came from (a promotion on the pawn's own file) is not blocked by itself.
    const Bitboard occ_after = occ & ~SqBit(from);
    int type = PieceType(e->piece);
    if (m & PROMO_ANY) type = PromoPiece(m);

    int result = 0;
    switch (type) {
    case PAWN:
        result = (BB_PawnRays[s][to] & SqBit(K)) != 0;
        break;
    case KNIGHT:
        result = (BB_KnightRays[to] & SqBit(K)) != 0;
        break;
    case BISHOP:
        result = (BB_BishopRays[to] & SqBit(K)) && !(BB_Between[to][K] & occ_after);
        break;
    case ROOK:
        result = (BB_RookRays[to] & SqBit(K)) && !(BB_Between[to][K] & occ_after);
        break;
    case QUEEN:
        result = ((BB_BishopRays[to] | BB_RookRays[to]) & SqBit(K)) && !(BB_Between[to][K] & occ_after);
        break;
    default:
        break;
    }

    if (pos->material[s] & 0xFFF00) {
        const Bitboard occ2 = occ_after | SqBit(to);
        const Bitboard* b = pos->bb + 8 * s;
        if (BB_RookRays[K] & SqBit(from)) {
            for (Bitboard sl = BB_RookRays[K] & BB_RookRays[from] & (b[ROOK] | b[QUEEN]); sl; sl = ClearLSB(sl))
                if (!(BB_Between[K][LSB(sl)] & occ2)) return 2;
        }
        if (BB_BishopRays[K] & SqBit(from)) {
            for (Bitboard sl = BB_BishopRays[K] & BB_BishopRays[from] & (b[BISHOP] | b[QUEEN]); sl; sl = ClearLSB(sl))
                if (!(BB_Between[K][LSB(sl)] & occ2)) return 2;
        }
    }
    return result;
}

int IsMate(Position* pos) {
    MoveEntry list[MAX_LIST_MOVES];
    const int side = pos->side;
    MoveEntry* end = GenerateMoves(pos, side, list);
    for (MoveEntry* e = list; e < end; e++)
        if (e->move && MoveIsLegal(pos, side, e->move)) return 0;
    return 1;
}
