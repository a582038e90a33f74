#include "tablebase/tbprobe.h"

#include <cstdio>

#include "board/tables.h"
#include "tablebase/tbcore.h"

// ---------------------------------------------------------------------------
// Position, material and moves

static inline uint64_t Us(const tb_position* p) { return p->turn ? p->white : p->black; }
static inline uint64_t Them(const tb_position* p) { return p->turn ? p->black : p->white; }
static inline int PopLowest(uint64_t& b) {
    const int sq = LSB(b);
    b &= b - 1;
    return sq;
}

uint64_t get_pieces(const tb_position* p, int code) {
    const uint64_t colour = code & 8 ? p->black : p->white;
    switch (code & 7) {
    case 1: return p->pawns & colour;
    case 2: return p->knights & colour;
    case 3: return p->bishops & colour;
    case 4: return p->rooks & colour;
    case 5: return p->queens & colour;
    case 6: return p->kings & colour;
    default: return 0;
    }
}

uint64_t calc_key(const tb_position* p, bool mirror) {
    const uint64_t sides[2] = {mirror ? p->black : p->white, mirror ? p->white : p->black};
    const uint64_t types[6] = {0, p->pawns, p->knights, p->bishops, p->rooks, p->queens};
    uint64_t key = 0;
    for (int s = 0; s < 2; s++)
        for (int t = 1; t <= 5; t++) key += (uint64_t)PopCount(sides[s] & types[t]) * MaterialKey[s][t];
    return key;
}

void prt_str(const tb_position* p, char* buf, bool mirror) {
    const uint64_t sides[2] = {mirror ? p->black : p->white, mirror ? p->white : p->black};
    const uint64_t types[5] = {p->queens, p->rooks, p->bishops, p->knights, p->pawns};
    static const char letters[5] = {'Q', 'R', 'B', 'N', 'P'};
    char* s = buf;
    for (int side = 0; side < 2; side++) {
        if (side) *s++ = 'v';
        *s++ = 'K';
        for (int t = 0; t < 5; t++)
            for (int n = PopCount(sides[side] & types[t]); n > 0 && s < buf + 14; n--) *s++ = letters[t];
    }
    *s = 0;
}

// Whether the king of the colour `white` (1 white, 0 black) is attacked in p.
static bool KingOfColourAttacked(const tb_position* p, int white) {
    const uint64_t us = white ? p->white : p->black;
    const uint64_t them = white ? p->black : p->white;
    const uint64_t own_king = p->kings & us;
    if (!own_king) return true;
    const int k = LSB(own_king);
    const uint64_t occ = p->white | p->black;
    if (BB_KingRays[k] & p->kings & them) return true;
    if (RookAttacks(k, occ) & (p->rooks | p->queens) & them) return true;
    if (BishopAttacks(k, occ) & (p->bishops | p->queens) & them) return true;
    if (BB_KnightRays[k] & p->knights & them) return true;
    return (BB_PawnRays[white ? 0 : 1][k] & p->pawns & them) != 0;
}

bool king_attacked(const tb_position* p, bool side_to_move) {
    return KingOfColourAttacked(p, side_to_move ? p->turn : !p->turn);
}

bool do_move(tb_position* out, const tb_position* in, TbMove m) {
    const int from = TbMoveFrom(m), to = TbMoveTo(m), promo = TbMovePromo(m);
    const uint64_t fbit = 1ULL << from, tbit = 1ULL << to;
    *out = *in;
    out->turn = !in->turn;
    uint64_t* boards[8] = {&out->white, &out->black, &out->kings, &out->queens,
                           &out->rooks, &out->bishops, &out->knights, &out->pawns};
    for (uint64_t* b : boards) {
        const bool had = *b & fbit;
        *b &= ~fbit;
        *b = had ? *b | tbit : *b & ~tbit;
    }
    out->ep = 0;
    if (promo) {
        out->pawns &= ~tbit;
        switch (promo) {
        case TB_PROMO_QUEEN: out->queens |= tbit; break;
        case TB_PROMO_ROOK: out->rooks |= tbit; break;
        case TB_PROMO_BISHOP: out->bishops |= tbit; break;
        default: out->knights |= tbit; break;
        }
        out->rule50 = 0;
    } else if (in->pawns & fbit) {
        out->rule50 = 0;
        if ((from >> 3) == 1 && (to >> 3) == 3 && (BB_PawnRays[0][from + 8] & in->pawns & in->black)) {
            out->ep = (uint8_t)(from + 8);
        } else if ((from >> 3) == 6 && (to >> 3) == 4 && (BB_PawnRays[1][from - 8] & in->pawns & in->white)) {
            out->ep = (uint8_t)(from - 8);
        } else if (in->ep && to == in->ep) {
            const uint64_t taken = 1ULL << (in->turn ? to - 8 : to + 8);
            out->white &= ~taken;
            out->black &= ~taken;
            out->pawns &= ~taken;
        }
    } else if ((in->white | in->black) & tbit) {
        out->rule50 = 0;
    } else {
        out->rule50 = (uint8_t)(in->rule50 < 255 ? in->rule50 + 1 : 255);
    }
    return !KingOfColourAttacked(out, in->turn);
}

static inline TbMove* AddTargets(TbMove* list, int from, uint64_t targets) {
    while (targets) *list++ = (TbMove)(PopLowest(targets) | (from << 6));
    return list;
}

// A pawn move; a move to the last rank as four promotions queen, knight, rook, bishop.
static inline TbMove* AddPawnMove(TbMove* list, int from, int to) {
    const TbMove m = (TbMove)(to | (from << 6));
    if ((to >> 3) == 7 || (to >> 3) == 0) {
        *list++ = (TbMove)(m | (TB_PROMO_QUEEN << 12));
        *list++ = (TbMove)(m | (TB_PROMO_KNIGHT << 12));
        *list++ = (TbMove)(m | (TB_PROMO_ROOK << 12));
        *list++ = (TbMove)(m | (TB_PROMO_BISHOP << 12));
    } else {
        *list++ = m;
    }
    return list;
}

// The empty squares one and two steps ahead of a pawn that it may push to.
static inline uint64_t PushTargets(const tb_position* p, int from) {
    const uint64_t empty = ~(p->white | p->black);
    uint64_t t = 0;
    if (p->turn) {
        if (from + 8 < 64 && (empty >> (from + 8) & 1)) {
            t |= 1ULL << (from + 8);
            if ((from >> 3) == 1 && (empty >> (from + 16) & 1)) t |= 1ULL << (from + 16);
        }
    } else {
        if (from - 8 >= 0 && (empty >> (from - 8) & 1)) {
            t |= 1ULL << (from - 8);
            if ((from >> 3) == 6 && (empty >> (from - 16) & 1)) t |= 1ULL << (from - 16);
        }
    }
    return t;
}

// King, queens, rooks, bishops and knights of the side to move, to targets in mask.
static TbMove* PieceMoves(const tb_position* p, TbMove* list, uint64_t mask) {
    const uint64_t us = Us(p), occ = p->white | p->black;
    if (p->kings & us) {
        const int k = LSB(p->kings & us);
        list = AddTargets(list, k, BB_KingRays[k] & mask);
    }
    for (uint64_t b = p->queens & us; b;) {
        const int sq = PopLowest(b);
        list = AddTargets(list, sq, (RookAttacks(sq, occ) | BishopAttacks(sq, occ)) & mask);
    }
    for (uint64_t b = p->rooks & us; b;) {
        const int sq = PopLowest(b);
        list = AddTargets(list, sq, RookAttacks(sq, occ) & mask);
    }
    for (uint64_t b = p->bishops & us; b;) {
        const int sq = PopLowest(b);
        list = AddTargets(list, sq, BishopAttacks(sq, occ) & mask);
    }
    for (uint64_t b = p->knights & us; b;) {
        const int sq = PopLowest(b);
        list = AddTargets(list, sq, BB_KnightRays[sq] & mask);
    }
    return list;
}

TbMove* gen_moves(const tb_position* p, TbMove* list) {
    const uint64_t us = Us(p), them = Them(p);
    list = PieceMoves(p, list, ~us);
    for (uint64_t b = p->pawns & us; b;) {
        const int from = PopLowest(b);
        const uint64_t a = BB_PawnRays[p->turn ? 0 : 1][from];
        if (p->ep && (a >> p->ep & 1)) *list++ = (TbMove)(p->ep | (from << 6));
        for (uint64_t t = (a & them) | PushTargets(p, from); t;) list = AddPawnMove(list, from, PopLowest(t));
    }
    return list;
}

TbMove* gen_captures_or_promotions(const tb_position* p, TbMove* list) {
    const uint64_t us = Us(p), them = Them(p);
    list = PieceMoves(p, list, them);
    const int last_but_one = p->turn ? 6 : 1;
    for (uint64_t b = p->pawns & us; b;) {
        const int from = PopLowest(b);
        const uint64_t a = BB_PawnRays[p->turn ? 0 : 1][from];
        if (p->ep && (a >> p->ep & 1)) *list++ = (TbMove)(p->ep | (from << 6));
        for (uint64_t t = a & them; t;) list = AddPawnMove(list, from, PopLowest(t));
        if ((from >> 3) == last_but_one) {
            const int ahead = p->turn ? from + 8 : from - 8;
            if (!((p->white | p->black) >> ahead & 1)) list = AddPawnMove(list, from, ahead);
        }
    }
    return list;
}

TbMove* gen_ep_captures(const tb_position* p, TbMove* list) {
    if (!p->ep) return list;
    for (uint64_t b = p->pawns & Us(p); b;) {
        const int from = PopLowest(b);
        if (BB_PawnRays[p->turn ? 0 : 1][from] >> p->ep & 1) *list++ = (TbMove)(p->ep | (from << 6));
    }
    return list;
}

TbMove* gen_pawn_pushes(const tb_position* p, TbMove* list) {
    for (uint64_t b = p->pawns & Us(p); b;) {
        const int from = PopLowest(b);
        for (uint64_t t = PushTargets(p, from); t;) list = AddPawnMove(list, from, PopLowest(t));
    }
    return list;
}

bool is_ep_capture(const tb_position* p, TbMove m) {
    return p->ep && TbMoveTo(m) == p->ep && (p->pawns & Us(p) & (1ULL << TbMoveFrom(m)));
}

// ---------------------------------------------------------------------------
// Table lookups

const int wdl_to_dtz[5] = {-1, -101, 0, 101, 1};
static const int wdl_to_map[5] = {1, 3, 0, 2, 0};
static const uint8_t pa_flags[5] = {DTZ_LOSS_PLIES, 0, 0, 0, DTZ_WIN_PLIES};
static const int file_to_file[8] = {0, 1, 2, 3, 3, 2, 1, 0};

static TBHashEntry* FindTable(uint64_t key) {
    for (TBHashEntry& h : TB_hash[key >> (64 - TBHASHBITS)])
        if (h.key.load(std::memory_order_relaxed) == key) return &h;
    return nullptr;
}

// How a position is laid onto a table: colour swap for piece codes, square
// flip for pawn tables, and the side to move as the table sees it.
struct Orientation {
    int swap, flip, side;
};

static Orientation Orient(const tb_position* p, const TBEntry* e, uint64_t key) {
    if (e->symmetric) return p->turn ? Orientation{0, 0, 0} : Orientation{8, 56, 0};
    if (key != e->key) return Orientation{8, 56, p->turn ? 1 : 0};
    return Orientation{0, 0, p->turn ? 0 : 1};
}

// Appends the squares of the pieces listed from sq[n] on until num squares
// are listed; false when the position does not have the listed pieces.
static bool ListSquares(const tb_position* p, const uint8_t* pieces, int num, int swap, int flip, int* sq, int n) {
    while (n < num) {
        uint64_t b = get_pieces(p, pieces[n] ^ swap);
        if (!b) return false;
        while (b) {
            if (n >= num) return false;
            sq[n++] = PopLowest(b) ^ flip;
        }
    }
    return true;
}

// The leading pawns (the one with the smallest `flap` first) and the pawn
// file they choose; -1 when the position lacks them.
static int ListLeadingPawns(const tb_position* p, int code, int count, int flip, int* sq) {
    uint64_t b = get_pieces(p, code);
    int n = 0;
    while (b) {
        if (n >= count) return -1;
        sq[n++] = PopLowest(b) ^ flip;
    }
    if (n != count) return -1;
    for (int j = 1; j < count; j++)
        if (flap[sq[0]] > flap[sq[j]]) {
            int x = sq[0];
            sq[0] = sq[j];
            sq[j] = x;
        }
    return file_to_file[sq[0] & 7];
}

// Maps and sets up a WDL table under the loading lock; false on failure
// (the hash slot is then disabled, so the table is not tried again).
static bool LoadWdlTable(const tb_position* p, TBHashEntry* h, uint64_t key) {
    TBEntry* e = h->ptr;
    Mutex* lock = TableLoadingLock();
    if (!lock) return false;
    LockMutex(lock);
    bool ok = e->ready.load(std::memory_order_relaxed) != 0;
    if (!ok && h->key.load(std::memory_order_relaxed) == key) {
        char name[16];
        prt_str(p, name, e->key != key);
        bool found = false;
        uint64_t mapping = 0;
        const uint8_t* data = map_file(name, ".rtbw", &mapping, &found);
        if (!data) {
            if (!found) fprintf(stderr, "Could not find %s.rtbw\n", name);
        } else if (mapping < 4 || (data[0] | data[1] << 8 | data[2] << 16 | (uint32_t)data[3] << 24) != WDL_MAGIC) {
            fprintf(stderr, "Corrupted table.\n");
            unmap_file(data, mapping);
        } else {
            e->data = data;
            e->mapping = mapping;
            ok = init_table_wdl(e, name);
            if (ok) {
                e->ready.store(1, std::memory_order_release);
            } else {
                unmap_file(data, mapping);
                e->data = nullptr;
                e->mapping = 0;
            }
        }
        if (!ok) h->key.store(0, std::memory_order_relaxed);
    }
    UnlockMutex(lock);
    return ok;
}

// The stored WDL value of a position.
static int ProbeWdlTable(const tb_position* p, int* success) {
    const uint64_t key = calc_key(p, false);
    if (key == 0) return 0;  // two bare kings
    TBHashEntry* h = FindTable(key);
    if (!h) {
        *success = 0;
        return 0;
    }
    TBEntry* e = h->ptr;
    if (!e->ready.load(std::memory_order_acquire) && !LoadWdlTable(p, h, key)) {
        *success = 0;
        return 0;
    }
    const Orientation o = Orient(p, e, key);
    int sq[TBPIECES];
    int v = -1;
    if (!e->has_pawns) {
        const TBEntry_piece* t = static_cast<const TBEntry_piece*>(e);
        const PairsData* d = t->precomp[o.side];
        if (d && ListSquares(p, t->pieces[o.side], t->num, o.swap, 0, sq, 0))
            v = decompress_pairs(d, encode_piece(t->enc_type, t->num, t->norm[o.side], sq, t->factor[o.side]));
    } else {
        const TBEntry_pawn* t = static_cast<const TBEntry_pawn*>(e);
        const int f = ListLeadingPawns(p, t->file[0].pieces[0][0] ^ o.swap, t->pawns[0], o.flip, sq);
        if (f >= 0) {
            const TBPawnFile& pf = t->file[f];
            const PairsData* d = pf.precomp[o.side];
            if (d && ListSquares(p, pf.pieces[o.side], t->num, o.swap, o.flip, sq, t->pawns[0]))
                v = decompress_pairs(d, encode_pawn(t->pawns, t->num, pf.norm[o.side], sq, pf.factor[o.side]));
        }
    }
    if (v < 0 || v > 4) {
        *success = 0;
        return 0;
    }
    return v - 2;
}

int probe_ab(const tb_position* p, int alpha, int beta, int* success) {
    TbMove list[TB_MAX_MOVES];
    TbMove* end = gen_captures_or_promotions(p, list);
    for (TbMove* m = list; m < end; m++) {
        if (is_ep_capture(p, *m)) continue;
        tb_position next;
        if (!do_move(&next, p, *m)) continue;
        const int v = -probe_ab(&next, -beta, -alpha, success);
        if (*success == 0) return 0;
        if (v > alpha) {
            if (v >= beta) {
                *success = 2;
                return v;
            }
            alpha = v;
        }
    }
    const int v = ProbeWdlTable(p, success);
    if (*success == 0) return 0;
    if (alpha >= v) {
        *success = 1 + (alpha > 0);
        return alpha;
    }
    *success = 1;
    return v;
}

// The best value of the legal en-passant captures (by the capture search
// after them), or -3 when there is none.
static int BestEpCapture(const tb_position* p, int* success) {
    TbMove list[TB_MAX_MOVES];
    TbMove* end = gen_ep_captures(p, list);
    int best = -3;
    for (TbMove* m = list; m < end; m++) {
        tb_position next;
        if (!do_move(&next, p, *m)) continue;
        const int v = -probe_ab(&next, -2, 2, success);
        if (*success == 0) return 0;
        if (v > best) best = v;
    }
    return best;
}

// Whether the side to move has a legal move other than an en-passant capture.
static bool HasLegalNonEpMove(const tb_position* p) {
    TbMove list[TB_MAX_MOVES];
    TbMove* end = gen_moves(p, list);
    for (TbMove* m = list; m < end; m++) {
        if (is_ep_capture(p, *m)) continue;
        tb_position next;
        if (do_move(&next, p, *m)) return true;
    }
    return false;
}

int probe_wdl(const tb_position* p, int* success) {
    *success = 1;
    const int v = probe_ab(p, -2, 2, success);
    if (*success == 0) return 0;
    if (!p->ep) return v;
    const int best = BestEpCapture(p, success);
    if (*success == 0) return 0;
    if (best == -3) return v;
    if (best >= v) return best;
    if (v != 0) return v;
    // A drawn position whose en-passant capture loses: the capture counts
    // only when it is the one legal move.
    return HasLegalNonEpMove(p) ? 0 : best;
}

// ---------------------------------------------------------------------------
// DTZ tables and their cache

int dtz_tables_cached() {
    Mutex* lock = DtzCacheLock();
    if (!lock) return 0;
    LockMutex(lock);
    int n = 0;
    for (const DTZTableEntry& d : DTZ_table) n += d.entry != nullptr;
    UnlockMutex(lock);
    return n;
}

// Loads the DTZ table of a position's material into cache entry 0.
static void LoadDtzTable(const tb_position* p, uint64_t key) {
    TBHashEntry* h = FindTable(key);
    if (!h) return;
    const TBEntry* w = h->ptr;
    const bool mirror = w->key != key;
    char name[16];
    prt_str(p, name, mirror);

    delete_dtz_entry(DTZ_table[DTZ_ENTRIES - 1].entry);
    for (int i = DTZ_ENTRIES - 1; i > 0; i--) DTZ_table[i] = DTZ_table[i - 1];
    DTZ_table[0] = DTZTableEntry{calc_key(p, mirror), calc_key(p, !mirror), nullptr};

    TBHashEntry* h1 = FindTable(DTZ_table[0].key1);
    if (!h1) return;
    TBEntry* e = new_dtz_entry(w);
    if (!e) return;
    bool found = false;
    uint64_t mapping = 0;
    const uint8_t* data = map_file(name, ".rtbz", &mapping, &found);
    if (data) {
        e->data = data;
        e->mapping = mapping;
        if (mapping < 4 || (data[0] | data[1] << 8 | data[2] << 16 | (uint32_t)data[3] << 24) != DTZ_MAGIC) {
            fprintf(stderr, "Corrupted table.\n");
        } else if (init_table_dtz(e, name)) {
            DTZ_table[0].entry = e;
            return;
        }
    }
    delete_dtz_entry(e);
}

// A stored DTZ value through a table's value map; -1 when out of its range.
static int MapValue(const uint8_t* map, uint16_t start, int r) {
    if (r >= map[start - 1]) return -1;
    return map[start + r];
}

// The stored count of a position (the caller holds the cache lock). Sets
// success to 0 when there is no table and to -1 when the table stores the
// other side to move; *flags receives the value table's flags.
static int ProbeDtzTableLocked(const tb_position* p, int wdl, int* success, uint8_t* flags) {
    const uint64_t key = calc_key(p, false);
    if (DTZ_table[0].key1 != key && DTZ_table[0].key2 != key) {
        int i = 1;
        while (i < DTZ_ENTRIES && DTZ_table[i].key1 != key) i++;
        if (i < DTZ_ENTRIES) {
            const DTZTableEntry hit = DTZ_table[i];
            for (int j = i; j > 0; j--) DTZ_table[j] = DTZ_table[j - 1];
            DTZ_table[0] = hit;
        } else {
            if (!FindTable(key)) {
                *success = 0;
                return 0;
            }
            LoadDtzTable(p, key);
        }
    }
    const TBEntry* e = DTZ_table[0].entry;
    if (!e) {
        *success = 0;
        return 0;
    }
    const Orientation o = Orient(p, e, key);
    int sq[TBPIECES];
    int r = -1;
    if (!e->has_pawns) {
        const DTZEntry_piece* t = static_cast<const DTZEntry_piece*>(e);
        *flags = t->flags;
        if (!t->symmetric && o.side != (t->flags & DTZ_STM_BLACK)) {
            *success = -1;
            return 0;
        }
        if (t->precomp && ListSquares(p, t->pieces, t->num, o.swap, 0, sq, 0))
            r = decompress_pairs(t->precomp, encode_piece(t->enc_type, t->num, t->norm, sq, t->factor));
        if (r >= 0 && (t->flags & DTZ_HAS_MAPS)) r = MapValue(t->map, t->map_idx[wdl_to_map[wdl + 2]], r);
    } else {
        const DTZEntry_pawn* t = static_cast<const DTZEntry_pawn*>(e);
        const int f = ListLeadingPawns(p, t->file[0].pieces[0] ^ o.swap, t->pawns[0], o.flip, sq);
        if (f >= 0) {
            *flags = t->flags[f];
            if (o.side != (t->flags[f] & DTZ_STM_BLACK)) {
                *success = -1;
                return 0;
            }
            const DTZPawnFile& pf = t->file[f];
            if (pf.precomp && ListSquares(p, pf.pieces, t->num, o.swap, o.flip, sq, t->pawns[0]))
                r = decompress_pairs(pf.precomp, encode_pawn(t->pawns, t->num, pf.norm, sq, pf.factor));
            if (r >= 0 && (t->flags[f] & DTZ_HAS_MAPS)) r = MapValue(t->map, t->map_idx[f][wdl_to_map[wdl + 2]], r);
        }
    }
    if (r < 0) {
        *success = 0;
        return 0;
    }
    return r;
}

static int ProbeDtzTable(const tb_position* p, int wdl, int* success, uint8_t* flags) {
    Mutex* lock = DtzCacheLock();
    if (!lock) {
        *success = 0;
        return 0;
    }
    LockMutex(lock);
    const int r = ProbeDtzTableLocked(p, wdl, success, flags);
    UnlockMutex(lock);
    return r;
}

enum : int { BEST_NONE = 0xFFFF };

// Steps before the en-passant correction; a failure is reported through
// *success (0).
static int ProbeDtzNoEp(const tb_position* p, int* success) {
    const int wdl = probe_ab(p, -2, 2, success);
    if (*success == 0) return 0;
    if (wdl == 0) return 0;
    if (*success == 2) return wdl == 2 ? 1 : 101;

    TbMove list[TB_MAX_MOVES];
    if (wdl > 0) {
        // A pawn move that keeps the result zeroes the counter at once.
        TbMove* end = gen_pawn_pushes(p, list);
        for (TbMove* m = list; m < end; m++) {
            tb_position next;
            if (!do_move(&next, p, *m)) continue;
            const int v = next.ep ? -probe_wdl(&next, success) : -probe_ab(&next, -2, -wdl + 1, success);
            if (*success == 0) return 0;
            if (v == wdl) return wdl == 2 ? 1 : 101;
        }
    }

    uint8_t flags = 0;
    const int r = ProbeDtzTable(p, wdl, success, &flags);
    if (*success == 0) return 0;
    if (*success != -1) {
        int d;
        if ((flags & pa_flags[wdl + 2]) && !(wdl & 1)) d = r + 1;
        else d = 2 * r + 1 + ((wdl & 1) ? 100 : 0);
        return wdl > 0 ? d : -d;
    }

    // The table stores the other side to move: one ply of search.
    TbMove* end = gen_moves(p, list);
    if (wdl > 0) {
        int best = BEST_NONE;
        for (TbMove* m = list; m < end; m++) {
            tb_position next;
            if (!do_move(&next, p, *m) || next.rule50 == 0) continue;
            const int d = probe_dtz(&next, success);
            if (*success == 0) return 0;
            if (d < 0 && 1 - d < best) best = 1 - d;
        }
        if (best == BEST_NONE) {  // the tables disagree with each other
            *success = 0;
            return 0;
        }
        return best;
    }
    int best = -1;
    for (TbMove* m = list; m < end; m++) {
        tb_position next;
        if (!do_move(&next, p, *m)) continue;
        int v;
        if (next.rule50 == 0) {
            if (wdl == -2) v = -1;
            else v = probe_ab(&next, 1, 2, success) == 2 ? 0 : -101;
        } else {
            v = -probe_dtz(&next, success) - 1;
        }
        if (*success == 0) return 0;
        if (v < best) best = v;
    }
    return best;
}

int probe_dtz(const tb_position* p, int* success) {
    *success = 1;
    const int v = ProbeDtzNoEp(p, success);
    if (*success == 0) return 0;
    if (!p->ep) return v;
    const int best = BestEpCapture(p, success);
    if (*success == 0) return 0;
    if (best == -3) return v;
    const int e = wdl_to_dtz[best + 2];
    if (v < -100) return e >= 0 ? e : v;
    if (v < 0) return e >= 0 || e < -100 ? e : v;
    if (v > 100) return e > 0 ? e : v;
    if (v > 0) return e == 1 ? 1 : v;
    if (e >= 0) return e;
    return HasLegalNonEpMove(p) ? 0 : e;
}
