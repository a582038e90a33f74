// Pseudo-legal move generation by kind. Every loop takes the lowest square
// first, so the lists always come out in the same order.
#include "board/movegen.h"

#include "board/attacks.h"
#include "board/tables.h"
#include "search/records.h"

static const Bitboard NOT_FILE_A = ~0x0101010101010101ULL;
static const Bitboard NOT_FILE_H = ~0x8080808080808080ULL;
static const Bitboard RANKS_1_8 = 0xFF000000000000FFULL;

static inline MoveEntry* Put(const Position* pos, MoveEntry* out, int from, int to) {
    out->move = MakeMoveCode(from, to);
    out->piece = pos->board[from];
    out->captured = pos->board[to];
    return out + 1;
}

// Moves of knights, bishops, rooks and queens of side onto the squares of `allowed`.
static MoveEntry* PieceMoves(const Position* pos, int side, MoveEntry* out, Bitboard allowed) {
    const Bitboard occ = pos->bb[0] | pos->bb[8];
    for (Bitboard b = pos->bb[8 * side + KNIGHT]; b; b = ClearLSB(b)) {
        int from = LSB(b);
        for (Bitboard t = BB_KnightRays[from] & allowed; t; t = ClearLSB(t)) out = Put(pos, out, from, LSB(t));
    }
    for (Bitboard b = pos->bb[8 * side + BISHOP]; b; b = ClearLSB(b)) {
        int from = LSB(b);
        for (Bitboard t = BishopAttacks(from, occ) & allowed; t; t = ClearLSB(t)) out = Put(pos, out, from, LSB(t));
    }
    for (Bitboard b = pos->bb[8 * side + ROOK]; b; b = ClearLSB(b)) {
        int from = LSB(b);
        for (Bitboard t = RookAttacks(from, occ) & allowed; t; t = ClearLSB(t)) out = Put(pos, out, from, LSB(t));
    }
    for (Bitboard b = pos->bb[8 * side + QUEEN]; b; b = ClearLSB(b)) {
        int from = LSB(b);
        for (Bitboard t = QueenAttacks(from, occ) & allowed; t; t = ClearLSB(t)) out = Put(pos, out, from, LSB(t));
    }
    return out;
}

MoveEntry* GenerateCaptures(const Position* pos, int side, MoveEntry* out, int target) {
    const Bitboard enemy = pos->bb[8 * (side ^ 1)];
    const Bitboard victims = target == NO_SQ ? enemy : SqBit(target);
    Bitboard ptargets = victims;
    if (pos->ep != NO_SQ) ptargets |= SqBit(pos->ep);
    ptargets &= ~RANKS_1_8;

    const Bitboard pawns = pos->bb[8 * side + PAWN];
    if (side == WHITE) {
        for (Bitboard t = ((pawns & NOT_FILE_A) << 7) & ptargets; t; t = ClearLSB(t)) {
            int to = LSB(t);
            out = Put(pos, out, to - 7, to);
        }
        for (Bitboard t = ((pawns & NOT_FILE_H) << 9) & ptargets; t; t = ClearLSB(t)) {
            int to = LSB(t);
            out = Put(pos, out, to - 9, to);
        }
    } else {
        for (Bitboard t = ((pawns & NOT_FILE_A) >> 9) & ptargets; t; t = ClearLSB(t)) {
            int to = LSB(t);
            out = Put(pos, out, to + 9, to);
        }
        for (Bitboard t = ((pawns & NOT_FILE_H) >> 7) & ptargets; t; t = ClearLSB(t)) {
            int to = LSB(t);
            out = Put(pos, out, to + 7, to);
        }
    }

    out = PieceMoves(pos, side, out, victims);

    for (Bitboard b = pos->bb[8 * side + KING]; b; b = ClearLSB(b)) {
        int from = LSB(b);
        for (Bitboard t = BB_KingRays[from] & enemy; t; t = ClearLSB(t)) out = Put(pos, out, from, LSB(t));
    }
    return out;
}

MoveEntry* GeneratePromotions(const Position* pos, int side, int under, MoveEntry* out) {
    static const Move flags[4] = {PROMO_QUEEN, PROMO_KNIGHT, PROMO_BISHOP, PROMO_ROOK};
    const int nflags = under ? 4 : 1;
    const Bitboard enemy = pos->bb[8 * (side ^ 1)];
    for (Bitboard b = pos->bb[8 * side + PAWN] & BB_r7[side]; b; b = ClearLSB(b)) {
        const int from = LSB(b);
        const int push = from + pawn_dir[side];
        int tos[3], n = 0;
        if (pos->board[push] == 0) tos[n++] = push;
        if ((from & 7) != 0 && (enemy & SqBit(push - 1))) tos[n++] = push - 1;
        if ((from & 7) != 7 && (enemy & SqBit(push + 1))) tos[n++] = push + 1;
        for (int i = 0; i < n; i++) {
            for (int f = 0; f < nflags; f++) {
                out->move = (Move)(MakeMoveCode(from, tos[i]) | flags[f]);
                out->piece = pos->board[from];
                out->captured = pos->board[tos[i]];
                out++;
            }
        }
    }
    return out;
}

MoveEntry* GenerateQuiets(const Position* pos, int side, MoveEntry* out, int target) {
    const Bitboard occ = pos->bb[0] | pos->bb[8];
    const Bitboard empty = ~occ;
    Bitboard allowed = empty;
    if (target != NO_SQ) allowed &= BB_Between[target][pos->king_sq[side]];

    const Bitboard pawns = pos->bb[8 * side + PAWN];
    Bitboard single, dbl;
    if (side == WHITE) {
        Bitboard step = (pawns << 8) & empty;
        single = step & allowed & ~RANKS_1_8;
        dbl = ((step & BB_Rank[2]) << 8) & allowed;  // from rank 2 over rank 3 to rank 4
    } else {
        Bitboard step = (pawns >> 8) & empty;
        single = step & allowed & ~RANKS_1_8;
        dbl = ((step & BB_Rank[5]) >> 8) & allowed;  // from rank 7 over rank 6 to rank 5
    }
    const int d = pawn_dir[side];
    for (Bitboard t = single; t; t = ClearLSB(t)) {
        int to = LSB(t);
        out = Put(pos, out, to - d, to);
    }
    for (Bitboard t = dbl; t; t = ClearLSB(t)) {
        int to = LSB(t);
        out = Put(pos, out, to - 2 * d, to);
    }

    out = PieceMoves(pos, side, out, allowed);

    for (Bitboard b = pos->bb[8 * side + KING]; b; b = ClearLSB(b)) {
        int from = LSB(b);
        for (Bitboard t = BB_KingRays[from] & empty; t; t = ClearLSB(t)) out = Put(pos, out, from, LSB(t));
    }

    const int k = pos->king_sq[side];
    if (k == init_king_sq[side] && (pos->bb[8 * side + KING] & SqBit(k))) {
        const int short_right = side ? 4 : 1, long_right = side ? 8 : 2;
        if ((pos->castle & short_right) && !(occ & (SqBit(k + 1) | SqBit(k + 2))))
            out = Put(pos, out, k, k + 2);
        if ((pos->castle & long_right) && !(occ & (SqBit(k - 1) | SqBit(k - 2) | SqBit(k - 3))))
            out = Put(pos, out, k, k - 2);
    }
    return out;
}

MoveEntry* GenerateMoves(const Position* pos, int side, MoveEntry* out) {
    out = GenerateCaptures(pos, side, out, NO_SQ);
    out = GeneratePromotions(pos, side, 1, out);
    return GenerateQuiets(pos, side, out, NO_SQ);
}

static inline void EndList(ThreadRecord* rec, int ply, MoveEntry* end) {
    end->move = MOVE_END;
    end->piece = 0;
    end->captured = 0;
    rec->stack[ply + 1].list = end + 1;
    rec->stack[ply + 2].list = end + 2;
}

void GenerateAll(Position* pos) {
    ThreadRecord* rec = pos->owner;
    const int ply = rec->ply;
    SearchStackEntry* e = &rec->stack[ply];
    const int side = pos->side;
    e->next = e->list;
    EndList(rec, ply, GenerateMoves(pos, side, e->list));
}

void GenerateNullMove(Position* pos) {
    ThreadRecord* rec = pos->owner;
    const int ply = rec->ply;
    SearchStackEntry* e = &rec->stack[ply];
    e->next = e->list;
    e->list[0].move = 0;
    e->list[0].piece = 0;
    e->list[0].captured = 0;
    EndList(rec, ply, e->list + 1);
}

int GenerateLegalMoves(Position* pos, Move* out) {
    MoveEntry list[MAX_LIST_MOVES];
    int side = pos->side;
    MoveEntry* end = GenerateMoves(pos, side, list);
    int n = 0;
    for (MoveEntry* e = list; e < end && n < MAX_LEGAL_MOVES; e++)
        if (e->move && MoveIsLegal(pos, side, e->move)) out[n++] = e->move;
    return n;
}

int IsGeneratedLegalMove(Position* pos, Move m) {
    if (m == 0) return 0;
    Move legal[MAX_LEGAL_MOVES];
    int n = GenerateLegalMoves(pos, legal);
    for (int i = 0; i < n; i++)
        if (legal[i] == m) return 1;
    return 0;
}
