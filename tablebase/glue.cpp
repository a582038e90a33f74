#include "tablebase/glue.h"

#include <atomic>

#include "base/settings.h"
#include "board/tables.h"
#include "tablebase/tbcore.h"
#include "tablebase/tbprobe.h"

// The en-passant square of a position when a pawn of the side to move can
// really take there (the square passed over empty, the enemy pawn in front
// of it); otherwise 0. The engine keeps the square after every double step.
static uint8_t UsableEpSquare(const Position* pos) {
    const int ep = pos->ep;
    if (ep >= 64) return 0;
    const int side = pos->side;
    const int rank = ep >> 3;
    if (rank != (side == WHITE ? 5 : 2)) return 0;
    const Bitboard occ = pos->bb[0] | pos->bb[8];
    const int pawn_sq = side == WHITE ? ep - 8 : ep + 8;  // the pawn that stepped
    const int from_sq = side == WHITE ? ep + 8 : ep - 8;  // where it started
    if ((occ >> ep & 1) || (occ >> from_sq & 1)) return 0;
    if (!(pos->bb[PAWN | (side == WHITE ? 8 : 0)] >> pawn_sq & 1)) return 0;
    // Own pawns that attack ep stand where an enemy pawn on ep would attack.
    const Bitboard takers = BB_PawnRays[side == WHITE ? 1 : 0][ep] & pos->bb[PAWN | (side == WHITE ? 0 : 8)];
    return takers ? (uint8_t)ep : 0;
}

void TB_ConvertPosition(const Position* pos, tb_position* p, int rule50) {
    p->white = pos->bb[0];
    p->black = pos->bb[8];
    p->pawns = pos->bb[PAWN] | pos->bb[PAWN | 8];
    p->knights = pos->bb[KNIGHT] | pos->bb[KNIGHT | 8];
    p->bishops = pos->bb[BISHOP] | pos->bb[BISHOP | 8];
    p->rooks = pos->bb[ROOK] | pos->bb[ROOK | 8];
    p->queens = pos->bb[QUEEN] | pos->bb[QUEEN | 8];
    p->kings = pos->bb[KING] | pos->bb[KING | 8];
    p->ep = UsableEpSquare(pos);
    p->turn = pos->side == WHITE ? 1 : 0;
    p->rule50 = (uint8_t)(rule50 > 255 ? 255 : rule50);
}

// The search probes the same positions again and again (every iteration,
// every transposition): their classes are kept in a table of the last
// results, one word each: the upper 61 bits of the position's key mixed with
// the registration they were found under, and the class plus one, or
// WDL_CACHE_NONE when the probe gave no result (a table it needs is missing
// or unusable, which stays so for the registration). Words are read and
// written whole, so threads share the table without a lock.
enum : uint64_t { WDL_CACHE_SIZE = 1 << 20, WDL_CACHE_NONE = 7 };
static std::atomic<uint64_t> wdl_cache[WDL_CACHE_SIZE];

static inline uint64_t CacheKey(const Position* pos) {
    return pos->key ^ (TB_generation * 0x9E3779B97F4A7C15ULL);
}

int TB_Probe_WDL(const Position* pos, int depth) {
    if (Personality.SyzygyProbeDepth5 > depth) return -1;
    const unsigned n = (unsigned)PopCount(pos->bb[0] | pos->bb[8]);
    if (n > TB_LARGEST) return -1;
    if (n == 6 && Personality.SyzygyProbeDepth6 > depth) return -1;
    if (pos->castle) return -1;
    const uint64_t key = CacheKey(pos);
    std::atomic<uint64_t>& slot = wdl_cache[key & (WDL_CACHE_SIZE - 1)];
    const uint64_t known = slot.load(std::memory_order_relaxed);
    if ((known & 7) && (known & ~7ULL) == (key & ~7ULL))
        return (known & 7) == WDL_CACHE_NONE ? -1 : (int)(known & 7) - 1;
    tb_position p;
    TB_ConvertPosition(pos, &p, 0);
    int success = 0;
    const int v = probe_wdl(&p, &success);
    slot.store((key & ~7ULL) | (success == 0 ? WDL_CACHE_NONE : (uint64_t)(v + 3)), std::memory_order_relaxed);
    return success == 0 ? -1 : v + 2;
}

// Whether a root position is one the probes can take: one king a side,
// colours and piece kinds that do not overlap, no pawn on the first or last
// rank, and the side not to move not in check.
static bool RootIsSound(const tb_position* p) {
    if (PopCount(p->kings & p->white) != 1 || PopCount(p->kings & p->black) != 1) return false;
    if (p->white & p->black) return false;
    const Bitboard sets[6] = {p->kings, p->queens, p->rooks, p->bishops, p->knights, p->pawns};
    Bitboard all = 0;
    for (Bitboard s : sets) {
        if (all & s) return false;
        all |= s;
    }
    if (all != (p->white | p->black)) return false;
    if (p->pawns & ~0x00FFFFFFFFFFFF00ULL) return false;
    return !king_attacked(p, false);
}

// Whether the side to move is checkmated.
static bool IsMated(const tb_position* p) {
    if (!king_attacked(p, true)) return false;
    TbMove list[TB_MAX_MOVES];
    TbMove* end = gen_moves(p, list);
    for (TbMove* m = list; m < end; m++) {
        tb_position next;
        if (do_move(&next, p, *m)) return false;
    }
    return true;
}

static Move EngineMove(TbMove m) {
    static const Move promo[5] = {0, PROMO_QUEEN, PROMO_ROOK, PROMO_BISHOP, PROMO_KNIGHT};
    return (Move)(MakeMoveCode(TbMoveFrom(m), TbMoveTo(m)) | promo[TbMovePromo(m)]);
}

int TB_Probe_DTZ(const Position* pos, int* result_class, uint32_t* dtz_out, Move* move) {
    if ((unsigned)PopCount(pos->bb[0] | pos->bb[8]) > TB_LARGEST || pos->castle) return -1;
    tb_position root;
    TB_ConvertPosition(pos, &root, pos->fifty);
    if (!RootIsSound(&root)) return -1;
    int success = 0;
    int dtz = probe_dtz(&root, &success);
    if (success == 0) return -1;

    TbMove list[TB_MAX_MOVES];
    int score[TB_MAX_MOVES];
    const int n = (int)(gen_moves(&root, list) - list);
    if (n == 0) return -1;
    int drawing = 0;
    bool mates[TB_MAX_MOVES];
    enum : int { NEVER = 32767 };
    for (int i = 0; i < n; i++) {
        tb_position next;
        mates[i] = false;
        if (!do_move(&next, &root, list[i])) {
            score[i] = NEVER;
            continue;
        }
        if (dtz > 0 && IsMated(&next)) {
            score[i] = 1;
            mates[i] = true;
            continue;
        }
        if (next.rule50 != 0) {
            const int d = probe_dtz(&next, &success);
            score[i] = d < 0 ? 1 - d : d > 0 ? -d - 1 : 0;
        } else {
            const int w = probe_wdl(&next, &success);
            score[i] = wdl_to_dtz[2 - w];
        }
        if (success == 0) return -1;
        drawing += score[i] == 0;
    }

    int chosen = -1;
    if (dtz > 0) {
        for (int i = 0; i < n; i++)
            if (score[i] > 0 && score[i] < NEVER && (chosen < 0 || score[i] < score[chosen])) chosen = i;
    } else if (dtz < 0) {
        for (int i = 0; i < n; i++)
            if (score[i] < 0 && (chosen < 0 || score[i] < score[chosen])) chosen = i;
    } else if (drawing > 0) {
        // The same drawing move every time for the same material and side.
        uint64_t k = calc_key(&root, root.turn == 0) % (uint64_t)drawing;
        for (int i = 0; i < n && chosen < 0; i++)
            if (score[i] == 0 && k-- == 0) chosen = i;
    }
    if (chosen < 0) return -1;
    // A mate in one is one ply from the end, though a table that stores the
    // other side to move reads it as two: the class must not take such a
    // win for one that the fifty-move rule spoils.
    if (mates[chosen]) dtz = 1;

    const int c = pos->fifty;
    int cls;
    if (dtz > 0) cls = c + dtz <= 100 ? 4 : 3;
    else if (dtz == 0) cls = 2;
    else cls = c - dtz <= 100 ? 0 : 1;
    *result_class = cls;
    *dtz_out = (uint32_t)(dtz < 0 ? -dtz : dtz) & 0xFFF;
    *move = EngineMove(list[chosen]);
    return cls;
}
