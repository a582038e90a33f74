#include "eval/evaluate.h"

#include <cstring>

#include "base/settings.h"
#include "eval/evalterms.h"
#include "eval/kpk.h"
#include "search/records.h"

namespace {

// Mop-up table for the lone king: larger toward the edges and corners.
const int8_t kEdge[64] = {
    60, 50, 40, 30, 30, 40, 50, 60,  //
    50, 40, 30, 20, 20, 30, 40, 50,  //
    40, 30, 20, 10, 10, 20, 30, 40,  //
    30, 20, 10, 0,  0,  10, 20, 30,  //
    30, 20, 10, 0,  0,  10, 20, 30,  //
    40, 30, 20, 10, 10, 20, 30, 40,  //
    50, 40, 30, 20, 20, 30, 40, 50,  //
    60, 50, 40, 30, 30, 40, 50, 60,
};

int Nibble(uint32_t sig, int type) { return (sig >> (4 * (type - 1))) & 15; }

int PiecePhase(uint32_t sig) {
    int p = Nibble(sig, KNIGHT) + Nibble(sig, BISHOP) + 2 * Nibble(sig, ROOK) + 4 * Nibble(sig, QUEEN);
    return p > 12 ? 12 : p;
}

int ClampScore(int s) { return s > EVAL_LIMIT ? EVAL_LIMIT : s < -EVAL_LIMIT ? -EVAL_LIMIT : s; }

// Distance from the a8-h1 diagonal: 7 in the a1 and h8 corners.
int CornerDist(int sq) { return std::abs(7 - (sq & 7) - (sq >> 3)); }

// 0 on the edge, 1 on the next ring, 2 on c3-f6.
int CentreRing(int sq) {
    int f = sq & 7, r = sq >> 3;
    int d = std::min(std::min(f, 7 - f), std::min(r, 7 - r));
    return d > 2 ? 2 : d;
}

void TraceKings(int wsum, int bsum, const Position* pos) {
    EvalTrace& t = PBlock.eval_trace;
    t.kings[WHITE] = (int16_t)wsum;
    t.kings[BLACK] = (int16_t)bsum;
    t.square[pos->king_sq[WHITE]] = (int16_t)wsum;
    t.square[pos->king_sq[BLACK]] = (int16_t)bsum;
}

void ClearTrace() {
    EvalTrace& t = PBlock.eval_trace;
    memset(&t, 0, sizeof t);
    t.scale = 1.0;
}

// Exact rules for a bare king against some material. Returns 1 and the score
// (side to move's view) when a rule applies.
bool ExactEndgame(const Position* pos, int side, int trace, int* score) {
    uint32_t mw = pos->material[WHITE], mb = pos->material[BLACK];
    uint32_t total = mw + mb;
    if (total == 1) {
        // King and pawn against king: the pawn side S plays white, pawn on files a-d.
        int S = mw ? WHITE : BLACK;
        int p = LSB(pos->bb[8 * S + PAWN]);
        int sk = pos->king_sq[S], dk = pos->king_sq[S ^ 1];
        if (S == BLACK) p = 63 - p, sk = 63 - sk, dk = 63 - dk;
        if ((p & 7) > 3) p ^= 7, sk ^= 7, dk ^= 7;
        int promo = 56 + (p & 7);
        int v = Dist(dk, promo) + 4 * (p >> 3) - Dist(sk, promo);
        int stm = side == S ? 0 : 1;
        if (kpk_db[KpkIndex(stm, p, sk, dk)] == KPK_WIN) v += 800;
        *score = side == S ? v : -v;
        return true;
    }
    if (total == 272) {
        // King, bishop and knight against king: drive the lone king to a corner
        // of the bishop's colour.
        int S = mw ? WHITE : BLACK;
        int W = pos->king_sq[S], L = pos->king_sq[S ^ 1];
        int bsq = LSB(pos->bb[8 * S + BISHOP]);
        int L2 = sq_color[bsq] == 0 ? (L ^ 7) : L;  // light bishop: mirror the files
        int v = 740 + 8 * CornerDist(L2) + 10 * CentreRing(W) - 6 * Dist(W, L);
        if (trace) {
            if (S == WHITE) TraceKings(v, 0, pos);
            else TraceKings(0, v, pos);
        }
        *score = side == S ? v : -v;
        return true;
    }
    if (total & 0xFF000) {
        // A rook or a queen against the bare king.
        int sw = 100 * pos->npm[WHITE], sb = 100 * pos->npm[BLACK];
        int d = Dist(pos->king_sq[WHITE], pos->king_sq[BLACK]);
        if (sw > sb) sw += 200 + 2 * (kEdge[pos->king_sq[BLACK]] - 8 * d);
        else sb += 200 + 2 * (kEdge[pos->king_sq[WHITE]] - 8 * d);
        if (trace) TraceKings(sw, sb, pos);
        *score = side == WHITE ? sw - sb : sb - sw;
        return true;
    }
    return false;
}

// The corner of a rook file for the strong side lacks the bishop of its colour
// and the weak king guards it.
bool WrongCorner(const Position* pos, int strong, int file) {
    int corner = (strong == WHITE ? 56 : 0) + file;
    if (Dist(pos->king_sq[strong ^ 1], corner) > 1) return false;
    Bitboard colour = sq_color[corner] == 0 ? LIGHT_SQUARES : DARK_SQUARES;
    return (pos->bb[8 * strong + BISHOP] & colour) == 0;
}

// The material pair of one side.
ScorePair Material(uint32_t sig) {
    ScorePair m = SpMul(pawn_value, Nibble(sig, PAWN));
    SpAddTo(m, SpMul(knight_value, Nibble(sig, KNIGHT)));
    SpAddTo(m, SpMul(bishop_value, Nibble(sig, BISHOP)));
    SpAddTo(m, SpMul(rook_value, Nibble(sig, ROOK)));
    SpAddTo(m, SpMul(queen_value, Nibble(sig, QUEEN)));
    if (Nibble(sig, BISHOP) >= 2) SpAddTo(m, bishop_pair);
    if ((sig & 0xFFFF0) == 0x10000) SpAddTo(m, lone_queen);
    return m;
}

int16_t Alert(int a) { return (int16_t)(a > 32767 ? 32767 : a); }

}  // namespace

// Endgame scale factor, 0 .. 256, from the score in white's view.
int ScaleFactor(const EvalWork* w, int score) {
    const Position* pos = w->pos;
    int strong = score >= 0 ? WHITE : BLACK, weak = strong ^ 1;
    int ps = w->piece_phase[strong], pw = w->piece_phase[weak];
    uint32_t sig = pos->material[strong];
    Bitboard spawns = pos->bb[8 * strong + PAWN];
    int pawns = PopCount(spawns);

    if (ps - pw >= 2) return sig == 32 ? 16 : 256;

    if (ps <= 1 && Nibble(sig, KNIGHT) == 0 && Nibble(sig, ROOK) == 0 && Nibble(sig, QUEEN) == 0) {
        if ((spawns & ~FILE_A_BB) == 0 && WrongCorner(pos, strong, 0)) return 16;
        if ((spawns & ~FILE_H_BB) == 0 && WrongCorner(pos, strong, 7)) return 16;
    }

    if (pawns == 0) return std::min(128, 16 * ps);
    if (pw == 0 || ps >= 4) return 256;

    int scale = 186 + std::min(70, 20 * pawns);
    if (pawns == 1 && ps <= pw) {
        scale -= ps <= 1 ? 80 : 40;
        int p = LSB(spawns);
        Bitboard front = strong == WHITE ? BB_RayN[p] : BB_RayS[p];
        if (front & (w->attacks[weak][KNIGHT] | w->attacks[weak][BISHOP])) scale -= 50;
        if (front & BB_KingRays[pos->king_sq[weak]] & ~BB_KingRays[pos->king_sq[strong]]) scale -= 50;
    }
    if (ps == pw && Nibble(pos->material[WHITE], BISHOP) == 1 &&
        Nibble(pos->material[BLACK], BISHOP) == 1) {
        // Bishops of opposite colours.
        int d = pawns - PopCount(pos->bb[8 * weak + PAWN]);
        Bitboard bishops = pos->bb[BISHOP] | pos->bb[8 + BISHOP];
        if (d < 3 && (bishops & LIGHT_SQUARES) && (bishops & DARK_SQUARES)) {
            int R = Nibble(pos->material[weak], ROOK) ? 64 : Nibble(pos->material[weak], KNIGHT) ? 96 : 128;
            if (d == 2) R /= 2;
            if (PopCount(w->passed & spawns) >= 2) R /= 2;
            scale = std::min(scale, 256 - R);
        }
    }
    return std::max(scale, 64);
}

int Evaluate(ThreadRecord* record, int side, int ply, int in_check, int trace) {
    if (in_check) return -10001;

    Position* pos = &record->pos;
    bool have_stack = ply >= 0 && ply < MAX_PLY + 2;
    uint32_t mw = pos->material[WHITE], mb = pos->material[BLACK];

    // Dead-drawn material: bare kings, one minor, or two knights a side, no pawns.
    if ((mw & 15) == 0 && (mb & 15) == 0 && mw <= 271 && mb <= 271 && Nibble(mw, KNIGHT) <= 2 &&
        Nibble(mb, KNIGHT) <= 2) {
        if (have_stack) record->stack[ply].eval_draw = 1;
        return 0;
    }

    if (trace) ClearTrace();
    EvalWork* w = &record->eval_work;
    w->pos = pos;
    w->record = record;
    w->ply = ply;
    w->side = side;
    w->trace = trace;
    w->occ = pos->bb[0] | pos->bb[8];
    CountUp(record->eval_probes);

    int score;
    if ((mw == 0 || mb == 0) && ExactEndgame(pos, side, trace, &score)) return ClampScore(score);

    EvalCacheEntry* slot = &record->eval_cache[pos->key & (EVAL_CACHE_SIZE - 1)];
    if (slot->key == pos->key && record->depth.load(std::memory_order_relaxed) >= 2 && ply >= 2) {
        CountUp(record->eval_hits);
        if (have_stack) {
            record->stack[ply].eval_extra1 = slot->extra1;
            record->stack[ply].eval_extra2 = slot->extra2;
        }
        return slot->score;
    }

    w->eval_alert[WHITE] = w->eval_alert[BLACK] = 0;
    w->hung = 0;
    w->free_pawns = 0;
    BuildPawnMaps(w);
    FindPins(w);

    // Material and phase.
    w->mtl[WHITE] = Material(mw);
    w->mtl[BLACK] = Material(mb);
    w->piece_phase[WHITE] = PiecePhase(mw);
    w->piece_phase[BLACK] = PiecePhase(mb);
    w->phase = 24 - w->piece_phase[WHITE] - w->piece_phase[BLACK];

    // Pawn structure through the pawn hash.
    PawnHashEntry* ph = &record->pawn_hash[pos->pawn_key & (PAWN_HASH_SIZE - 1)];
    w->pawn_slot = ph;
    CountUp(record->pawn_probes);
    if (ph->key == pos->pawn_key && record->depth.load(std::memory_order_relaxed) != 0) {
        CountUp(record->pawn_hits);
    } else {
        ph->key = pos->pawn_key;
        PawnStructure(w, ph->score);
    }
    w->positional[WHITE] = ph->score[WHITE];
    w->positional[BLACK] = ph->score[BLACK];

    EvalBlockedPawns(w);
    EvalPieces(w);
    EvalKing(w, pos->king_sq[WHITE]);
    EvalKing(w, pos->king_sq[BLACK]);
    EvalPassedPawns(w);
    EvalCandidatePawns(w);
    EvalThreats(w);
    EvalPawnPushThreats(w);

    SpAddTo(w->positional[side], MakeScore(16, 8));  // tempo

    // Taper both sums; a small non-linear boost of the positional part.
    int phase = w->phase;
    int P = TaperHalves(ScoreOp(w->positional[WHITE]) - ScoreOp(w->positional[BLACK]),
                        ScoreEg(w->positional[WHITE]) - ScoreEg(w->positional[BLACK]), phase);
    int M = TaperHalves(ScoreOp(w->mtl[WHITE]) - ScoreOp(w->mtl[BLACK]),
                        ScoreEg(w->mtl[WHITE]) - ScoreEg(w->mtl[BLACK]), phase);
    int64_t sq13 = 13 * (int64_t)P * P;
    int B = sq13 < 512000 ? (int)(sq13 / 4096) : 125;
    if (P < 0) B = -B;
    score = P + M + B;

    if (contempt != 0 && SearchData.target_time < 6000.0) {
        int root = SearchData.root_side;
        int cs = contempt > 0 ? root : root ^ 1;
        int units = std::max(0, pos->npm[cs] - 3);
        int pawns = std::min(6, Nibble(pos->material[cs], PAWN));
        int adj = (units + 2 * pawns) * contempt / 41;
        score += root == BLACK ? -adj : adj;
    }

    int scale = ScaleFactor(w, score);
    score = ClampScore(score * scale / 256);
    if (side == BLACK) score = -score;

    int16_t a1 = Alert(w->eval_alert[WHITE]), a2 = Alert(w->eval_alert[BLACK]);
    slot->key = pos->key;
    slot->extra1 = a1;
    slot->extra2 = a2;
    slot->score = (int16_t)score;
    if (have_stack) {
        record->stack[ply].eval_extra1 = a1;
        record->stack[ply].eval_extra2 = a2;
    }

    if (trace) {
        EvalTrace& t = PBlock.eval_trace;
        t.scale = scale / 256.0;
        for (int c = 0; c < 2; c++) {
            t.mtl[c] = (int16_t)Taper(w->mtl[c], phase);
            t.pos[c] = (int16_t)Taper(w->positional[c], phase);
        }
        t.pinned = w->pinned;
        t.hung = w->hung;
        t.free_pawns = w->free_pawns;
        t.stage = (int16_t)phase;
    }
    return score;
}
