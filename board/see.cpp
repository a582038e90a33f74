// Static exchange evaluation on one square: least valuable attacker first,
// either side may stop when going on would lose.
#include "board/see.h"

#include "board/tables.h"

// Lowest square of `cands` that sees sq through occ, or 64.
static inline int FirstSlider(Bitboard cands, int sq, Bitboard occ) {
    for (; cands; cands = ClearLSB(cands)) {
        int a = LSB(cands);
        if (!(BB_Between[a][sq] & occ)) return a;
    }
    return NO_SQ;
}

int GetAtakr(const Position* pos, int sq, int side, Bitboard occ) {
    const Bitboard* b = pos->bb + 8 * side;
    Bitboard c = BB_PawnRays[side ^ 1][sq] & b[PAWN];
    if (c) return LSB(c);
    c = BB_KnightRays[sq] & b[KNIGHT];
    if (c) return LSB(c);
    int a = FirstSlider(BB_BishopRays[sq] & b[BISHOP], sq, occ);
    if (a != NO_SQ) return a;
    a = FirstSlider(BB_RookRays[sq] & b[ROOK], sq, occ);
    if (a != NO_SQ) return a;
    a = FirstSlider((BB_BishopRays[sq] | BB_RookRays[sq]) & b[QUEEN], sq, occ);
    if (a != NO_SQ) return a;
    c = BB_KingRays[sq] & b[KING];
    if (c) return LSB(c);
    return NO_SQ;
}

// Puts the piece of `from` onto sq in the mailbox and takes it off its piece
// board (the colour boards stay as they are); returns the piece code.
static inline int Lift(Position* pos, int from, int sq) {
    int code = pos->board[from];
    pos->board[sq] = (uint8_t)code;
    pos->board[from] = 0;
    pos->bb[code] ^= SqBit(from);
    return code;
}

static inline void PutBack(Position* pos, int code, int from) {
    pos->board[from] = (uint8_t)code;
    pos->bb[code] ^= SqBit(from);
}

int swapoff1(Position* pos, int s, int a, int sq, Bitboard occ, int clip) {
    if (a == NO_SQ) {
        a = GetAtakr(pos, sq, s, occ);
        if (a == NO_SQ) return 0;
    }
    const int victim = pos->board[sq];
    if (PieceType(victim) == KING) return 9999;
    int v = piece_value[PieceType(victim)];

    const int pa = Lift(pos, a, sq);
    const Bitboard occ1 = occ & ~SqBit(a);
    const int r = GetAtakr(pos, sq, s ^ 1, occ1);
    if (r != NO_SQ) {
        if (PieceType(pa) == KING) {
            v -= 9999;  // the king may not take a defended piece
        } else {
            const int pr = Lift(pos, r, sq);
            const Bitboard occ2 = occ1 & ~SqBit(r);
            int w = piece_value[PieceType(pa)];
            const int b = GetAtakr(pos, sq, s, occ2);
            if (b != NO_SQ) {
                if (PieceType(pr) == KING) {
                    w -= 9999;
                } else {
                    const int pb = Lift(pos, b, sq);
                    const int x = swapoff1(pos, s ^ 1, NO_SQ, sq, occ2 & ~SqBit(b), 1);
                    PutBack(pos, pb, b);
                    pos->board[sq] = (uint8_t)pr;
                    const int gain = piece_value[PieceType(pr)] - x;
                    if (gain >= 0) w -= gain;
                }
            }
            PutBack(pos, pr, r);
            pos->board[sq] = (uint8_t)pa;
            if (w >= 0) v -= w;
        }
    }
    PutBack(pos, pa, a);
    pos->board[sq] = (uint8_t)victim;
    return (clip && v < 0) ? 0 : v;
}
