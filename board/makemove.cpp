// Making and taking back moves: mailbox, bitboards, material, rights,
// en-passant square, fifty-move counter and both keys, all incrementally.
#include "board/makemove.h"

#include <initializer_list>

#include "base/settings.h"
#include "base/trace.h"
#include "board/attacks.h"
#include "board/keys.h"
#include "board/position.h"
#include "board/tables.h"
#include "search/records.h"

static inline void Toggle(Position* pos, int code, int sq) {
    Bitboard b = SqBit(sq);
    pos->bb[code] ^= b;
    pos->bb[code & 8] ^= b;
}

void TraceMove(Position* pos, Move m) {
    const int limit = PBlock.trace;
    if (limit == 0 || !pos->owner) return;
    const ThreadRecord* t = pos->owner;
    const int p = t->ply;
    if (p > limit || p < 1 || p >= MAX_PLY + 2) return;
    char text[16];
    MoveToStr(m, text);  // "null" for the null move
    TraceWrite(p, t->depth.load(std::memory_order_relaxed), t->stack[p].depth, text);
}

static inline uint64_t WithSide(uint64_t key, int side) { return (key & ~1ULL) + (uint64_t)side; }

void MakeMove(Position* pos, Move m) {
    if (PBlock.trace) TraceMove(pos, m);
    ThreadRecord* rec = pos->owner;
    const int s = pos->side;
    const int from = MoveFrom(m), to = MoveTo(m);
    const int piece = pos->board[from];
    const int victim = pos->board[to];
    const int old_ep = pos->ep;
    const int old_castle = pos->castle;

    int g = rec->game_ply;
    rec->ply++;
    rec->game_ply = (int16_t)(g + 1);
    rec->last_move = m;

    UndoEntry* u = &rec->undo[g];
    u->key = pos->key;
    u->pawn_key = pos->pawn_key;
    u->move = m;
    u->captured = (uint8_t)PieceType(victim);
    u->ep = (uint8_t)old_ep;
    u->fifty = pos->fifty;
    u->castle = (uint8_t)old_castle;

    uint64_t key = pos->key;
    pos->ep = NO_SQ;
    pos->castle = (uint8_t)(old_castle & ~(csbits[from] | csbits[to]));
    pos->fifty += (pos->fifty != 255);  // saturates instead of wrapping
    pos->side = (uint8_t)(s ^ 1);

    if (old_ep != NO_SQ) key ^= rtable[0][old_ep];
    if (pos->castle != old_castle) key ^= rtable[0][old_castle] ^ rtable[0][pos->castle];

    if (victim) {
        const int c = PieceColor(victim), t = PieceType(victim);
        pos->board[to] = 0;
        pos->npm[c] -= npv[t];
        pos->material[c] -= msig[t];
        Toggle(pos, victim, to);
        key ^= rtable[victim][to];
        if (t == PAWN) pos->pawn_key ^= rtable[victim][to];
        pos->fifty = 0;
    }

    pos->board[to] = (uint8_t)piece;
    pos->board[from] = 0;
    pos->bb[8 * s] ^= SqBit(from) | SqBit(to);
    pos->bb[piece] ^= SqBit(from) | SqBit(to);
    key ^= rtable[piece][from];

    const int type = PieceType(piece);
    if (type == PAWN) {
        pos->fifty = 0;
        pos->pawn_key ^= rtable[piece][from] ^ rtable[piece][to];
        key ^= rtable[piece][to];
        if (to == from + 2 * pawn_dir[s]) {
            pos->ep = (uint8_t)(from + pawn_dir[s]);
            key ^= rtable[0][pos->ep];
        } else if (to == old_ep) {
            const int csq = to - pawn_dir[s];
            const int ecode = 8 * (s ^ 1) + PAWN;
            pos->board[csq] = 0;
            pos->material[s ^ 1] -= msig[PAWN];
            Toggle(pos, ecode, csq);
            key ^= rtable[ecode][csq];
            pos->pawn_key ^= rtable[ecode][csq];
        } else if (m & PROMO_ANY) {
            const int pawn = 8 * s + PAWN;
            pos->material[s] -= msig[PAWN];
            Toggle(pos, pawn, to);
            key ^= rtable[pawn][to];
            pos->pawn_key ^= rtable[pawn][to];
            const int nt = PromoPiece(m);
            const int code = 8 * s + nt;
            pos->board[to] = (uint8_t)code;
            pos->npm[s] += npv[nt];
            pos->material[s] += msig[nt];
            Toggle(pos, code, to);
            key ^= rtable[code][to];
        }
    } else {
        key ^= rtable[piece][to];
        if (type == KING) {
            pos->king_sq[s] = (uint8_t)to;
            int rfrom = -1, rto = -1;
            if (to == from + 2) rfrom = from + 3, rto = from + 1;
            else if (to == from - 2) rfrom = from - 4, rto = from - 1;
            if (rfrom >= 0) {
                const int rook = 8 * s + ROOK;
                pos->board[rto] = pos->board[rfrom];
                pos->board[rfrom] = 0;
                pos->bb[8 * s] ^= SqBit(rfrom) | SqBit(rto);
                pos->bb[rook] ^= SqBit(rfrom) | SqBit(rto);
                key ^= rtable[rook][rfrom] ^ rtable[rook][rto];
                pos->fifty = 0;
            }
        }
    }
    pos->key = WithSide(key, s ^ 1);
}

void UnmakeMove(Position* pos) {
    ThreadRecord* rec = pos->owner;
    rec->ply--;
    const int g = --rec->game_ply;
    const UndoEntry* e = &rec->undo[g];
    rec->last_move = g > 0 ? rec->undo[g - 1].move : 0;

    pos->ep = e->ep;
    pos->castle = e->castle;
    pos->fifty = e->fifty;
    pos->side ^= 1;
    const int s = pos->side;
    const Move m = e->move;
    const int from = MoveFrom(m), to = MoveTo(m);

    const int p = pos->board[to];
    pos->board[from] = (uint8_t)p;
    pos->board[to] = 0;
    pos->bb[8 * s] ^= SqBit(from) | SqBit(to);
    pos->bb[p] ^= SqBit(from) | SqBit(to);

    const int t = e->captured;
    if (t) {
        const int o = s ^ 1, code = t + 8 * o;
        pos->board[to] = (uint8_t)code;
        if (t == KING) pos->king_sq[o] = (uint8_t)to;
        pos->npm[o] += npv[t];
        pos->material[o] += msig[t];
        pos->bb[8 * o] |= SqBit(to);
        pos->bb[code] |= SqBit(to);
    }

    const int type = PieceType(p);
    if (type == PAWN) {
        if (e->ep == to) {
            const int o = s ^ 1, csq = to - pawn_dir[s], code = 8 * o + PAWN;
            pos->board[csq] = (uint8_t)code;
            pos->material[o] += msig[PAWN];
            pos->bb[8 * o] |= SqBit(csq);
            pos->bb[code] |= SqBit(csq);
        }
    } else if (type == KING) {
        int rfrom = -1, rto = -1;
        if (to == from + 2) rfrom = from + 3, rto = from + 1;
        else if (to == from - 2) rfrom = from - 4, rto = from - 1;
        if (rfrom >= 0) {
            const int rook = 8 * s + ROOK;
            pos->board[rfrom] = pos->board[rto];
            pos->board[rto] = 0;
            pos->bb[8 * s] ^= SqBit(rfrom) | SqBit(rto);
            pos->bb[rook] ^= SqBit(rfrom) | SqBit(rto);
        }
        pos->king_sq[s] = (uint8_t)from;
    }

    if (m & PROMO_ANY) {
        const int pt = PieceType(p);
        pos->npm[s] -= npv[pt];
        pos->material[s] -= msig[pt];
        pos->bb[8 * s] ^= SqBit(from);
        pos->bb[p] ^= SqBit(from);
        const int pawn = 8 * s + PAWN;
        pos->board[from] = (uint8_t)pawn;
        pos->material[s] += msig[PAWN];
        pos->bb[8 * s] |= SqBit(from);
        pos->bb[pawn] |= SqBit(from);
    }

    pos->key = e->key;
    pos->pawn_key = e->pawn_key;
}

void MakeNullMove(Position* pos) {
    if (PBlock.trace) TraceMove(pos, 0);
    ThreadRecord* rec = pos->owner;
    const int g = rec->game_ply;
    rec->ply++;
    rec->game_ply = (int16_t)(g + 1);

    UndoEntry* u = &rec->undo[g];
    u->move = 0;
    u->captured = 0;
    u->ep = pos->ep;
    u->fifty = pos->fifty;
    u->castle = pos->castle;
    u->key = pos->key;

    uint64_t key = pos->key;
    pos->side ^= 1;
    pos->fifty += (pos->fifty != 255);
    if (pos->ep != NO_SQ) key ^= rtable[0][pos->ep];
    pos->ep = NO_SQ;
    rec->last_move = 0;
    pos->key = WithSide(key, pos->side);
}

void UnmakeNullMove(Position* pos) {
    ThreadRecord* rec = pos->owner;
    const int g = --rec->game_ply;
    rec->ply--;
    const UndoEntry* e = &rec->undo[g];
    pos->ep = e->ep;
    pos->castle = e->castle;
    pos->fifty = e->fifty;
    pos->key = e->key;
    pos->side ^= 1;
    rec->last_move = g > 0 ? rec->undo[g - 1].move : 0;
}

int CanAddGameMove(const Position* pos) { return pos->owner->game_ply < MAX_GAME_PLY; }

int RepeatedOrRunOut(Position* pos) {
    const int f = pos->fifty;
    if (f < 4) return 0;
    if (f > 99 && IsMate(pos)) return 1;
    const ThreadRecord* t = pos->owner;
    int matches = 0;
    for (int k = 4; k <= f && t->game_ply - k >= 0; k += 2)
        if (t->undo[t->game_ply - k].key == pos->key && ++matches == 2) return 1;
    return 0;
}

uint64_t ComputePawnKey(const Position* pos) {
    uint64_t k = 0;
    for (int code : {(int)PAWN, 8 + PAWN})
        for (Bitboard b = pos->bb[code]; b; b = ClearLSB(b)) k ^= rtable[code][LSB(b)];
    return k;
}

uint64_t ComputeKey(const Position* pos) {
    uint64_t k = 0;
    for (int sq = 0; sq < 64; sq++)
        if (pos->board[sq]) k ^= rtable[pos->board[sq]][sq];
    k ^= rtable[0][pos->castle & 15];
    if (pos->ep != NO_SQ) k ^= rtable[0][pos->ep];
    return WithSide(k, pos->side);
}
