#include "eval/params.h"

#include <algorithm>
#include <cmath>

#include "base/settings.h"
#include "search/records.h"

ScorePair pawn_value, knight_value, bishop_value, rook_value, queen_value, bishop_pair;
int16_t contempt;
ScorePair lone_queen, pawn_blocked, bishop_rammed_pawns;
ScorePair pawn_isolated, pawn_backward, pawn_doubled, pawn_weak;
ScorePair candidate_pawn, rook_open_file, rook_half_open_file, rook_rank7, rook_trapped, safe_check,
    knight_outpost, bishop_outpost, pawn_storm;
ScorePair knight_outpost_xtra, bishop_outpost_xtra;
ScorePair hung_pawn, hung_piece, multiple_hung, attacked_piece, threat_pawn_push;
ScorePair PST_pawn[64], PST_knight[64], PST_bishop[64], PST_rook[64], PST_queen[64], PST_king[64];
ScorePair connected_pawn[64], defended_pawn[64];
ScorePair knight_mobility[22], bishop_mobility[22], rook_mobility[22], queen_mobility[32];
int16_t KingDanger[64];
int16_t PawnShield[24];
int16_t ppawn1[8], ppawn2[8];

// ---- derivation -------------------------------------------------------------

namespace {

const int16_t* W() { return Words(Personality); }

// round(pct * 0.01 * v): the percentage scaling used by every table.
int Pct(int pct, int v) { return (int)std::round(pct * 0.01 * v); }

ScorePair Pair(int w) { return MakeScore(W()[w], W()[w + 1]); }

// Base tables of the 64-square tables: 8 ranks (rank 1 first) of files a-d.
const int8_t kPawnOpBase[32] = {
    0, 0, 0, 0, -8, -4, -2, -4, -3, 2, 2, 4, -2, 2, 6, 10,
    4, 8, 12, 16, 8, 12, 16, 20, 8, 12, 16, 20, 0, 0, 0, 0,
};
const int8_t kPawnEgBase[32] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1,
    2, 2, 2, 2, 4, 4, 4, 4, 4, 4, 4, 4, 0, 0, 0, 0,
};
const int8_t kConnectedBase[32] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 3, 3, 5, 6, 6,
    7, 10, 12, 12, 18, 21, 24, 24, 36, 42, 48, 48, 0, 0, 0, 0,
};
const int8_t kDefendedBase[32] = {
    0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 2, 2, 2, 3, 4, 4,
    4, 6, 8, 8, 8, 12, 14, 14, 16, 20, 24, 24, 0, 0, 0, 0,
};
const int8_t kKnightBase[32] = {
    -32, -21, -14, -11, -21, -11, -4, 0,  -14, -4,  3,   6,   -11, 0, 6, 10,
    -11, 0,   6,   10,  -14, -4,  3,  6,  -21, -11, -4,  0,   -52, -31, -24, -21,
};
const int8_t kBishopBase[32] = {
    -12, -8, -6, -5, -8, 1,  -2, -1, -6,  -2, 0,   1,   -5,  -1,  1,   2,
    -5,  -1, 1,  2,  -6, -2, 0,  1,  -13, 0,  -2,  -1,  -27, -13, -11, -10,
};
const int8_t kRookBase[32] = {
    -6, -3, 0, 2, -6, -3, 0, 2, -6, -3, 0, 2, -6, -3, 0, 2,
    -6, -3, 0, 2, -6, -3, 0, 2, -6, -3, 0, 2, -6, -3, 0, 2,
};
const int8_t kQueenBase[32] = {
    -12, -8, -6, -5, -8, -5, -2, -1, -6, -2, 0,  1,  -5,  -1, 1,  2,
    -5,  -1, 1,  2,  -6, -2, 0,  1,  -8, -5, -2, -1, -12, -8, -6, -5,
};
const int8_t kKingOpBase[32] = {
    4,   8,   0,   -8,  -2,  -6,  -10, -14, -8,  -12, -16, -20, -12, -16, -20, -24,
    -12, -16, -20, -24, -12, -16, -20, -24, -12, -16, -20, -24, -12, -16, -20, -24,
};
const int8_t kKingEgBase[32] = {
    -44, -34, -24, -14, -34, -20, -10, 0,  -24, -10, 0,   10,  -14, 0,   10,  16,
    -14, 0,   10,  16,  -24, -10, 0,   10, -34, -20, -10, 0,   -44, -34, -24, -14,
};

// Base index of a square: the board folded about the d/e line.
int BaseIndex(int sq) {
    int f = sq & 7, r = sq >> 3;
    return 4 * r + (f <= 3 ? f : 7 - f);
}

// One table: pair(round(pct_op% * trunc16(amp_op * B_op / div_op)), same for eg).
void BuildTable(ScorePair* table, const int8_t* op_base, const int8_t* eg_base, int amp_word,
                int div_op, int div_eg, int pct_word, bool queen) {
    const int16_t* w = W();
    for (int sq = 0; sq < 64; sq++) {
        int i = BaseIndex(sq);
        int op = (int16_t)(w[amp_word] * op_base[i] / div_op);
        int eg = (int16_t)(w[amp_word + 1] * eg_base[i] / div_eg);
        if (queen && (sq >> 3) >= 4) op = (int16_t)(op - 4);
        table[sq] = MakeScore(Pct(w[pct_word], op), Pct(w[pct_word + 1], eg));
    }
}

void BuildMobility(ScorePair* table, int size, int computed, double D, double S, double E,
                   int amp_word, int pct_word) {
    const int16_t* w = W();
    for (int i = 0; i < size; i++) {
        if (i > computed) {
            table[i] = 0;
            continue;
        }
        double x = std::pow(i / D, 0.65) - S;
        if (i == 0) x -= E;
        int op = (int16_t)(int)std::round(w[amp_word] * x);
        int eg = (int16_t)(int)std::round(w[amp_word + 1] * x);
        table[i] = MakeScore(Pct(w[pct_word], op), Pct(w[pct_word + 1], eg));
    }
}

}  // namespace

ScorePair ScaleParam(const int16_t* pair, const int16_t* percent) {
    return MakeScore(Pct(percent[0], pair[0]), Pct(percent[1], pair[1]));
}

void InitPieceSqTables() {
    BuildTable(PST_pawn, kPawnOpBase, kPawnEgBase, W_PST_P, 28, 4, W_PCT_PAWN_STRUCTURE, false);
    BuildTable(connected_pawn, kConnectedBase, kConnectedBase, W_PAWN_CONNECTED, 48, 48,
               W_PCT_PAWN_STRUCTURE, false);
    BuildTable(defended_pawn, kDefendedBase, kDefendedBase, W_PAWN_DEFENDED, 24, 24,
               W_PCT_PAWN_STRUCTURE, false);
    BuildTable(PST_knight, kKnightBase, kKnightBase, W_PST_N, 42, 42, W_PCT_PST_KNIGHT, false);
    BuildTable(PST_bishop, kBishopBase, kBishopBase, W_PST_B, 14, 14, W_PCT_PST_BISHOP, false);
    BuildTable(PST_rook, kRookBase, kRookBase, W_PST_R, 8, 8, W_PCT_PST_ROOK, false);
    BuildTable(PST_queen, kQueenBase, kQueenBase, W_PST_Q, 14, 14, W_PCT_PST_QUEEN, true);
    BuildTable(PST_king, kKingOpBase, kKingEgBase, W_PST_K, 32, 60, W_PCT_PST_KING, false);
}

void SetEvalParams() {
    const int16_t* w = W();

    // 1. Every pool thread clears its caches before its next search.
    int n = SearchData.threads.load(std::memory_order_relaxed);
    for (int i = 0; i < n && i < 128; i++)
        if (ThreadData[i]) ThreadData[i]->eval_params_changed.store(1, std::memory_order_relaxed);

    // 2. The 64-square tables.
    InitPieceSqTables();

    // 3. Constants, contempt, material.
    lone_queen = MakeScore(-50, -50);
    pawn_blocked = MakeScore(-3, -6);
    bishop_rammed_pawns = MakeScore(-5, -10);
    contempt = w[W_CONTEMPT];
    pawn_value = Pair(W_PAWN_VALUE);
    knight_value = Pair(W_KNIGHT_VALUE);
    bishop_value = Pair(W_BISHOP_VALUE);
    rook_value = Pair(W_ROOK_VALUE);
    queen_value = Pair(W_QUEEN_VALUE);
    bishop_pair = Pair(W_BISHOP_PAIR);

    // 4. Pawn structure, scaled by the Pawn_Structure pair.
    const int16_t* ps = w + W_PCT_PAWN_STRUCTURE;
    pawn_doubled = ScaleParam(w + W_PAWN_DOUBLED, ps);
    pawn_backward = ScaleParam(w + W_PAWN_BACKWARD, ps);
    pawn_isolated = ScaleParam(w + W_PAWN_ISOLATED, ps);
    pawn_weak = ScaleParam(w + W_PAWN_WEAK, ps);

    // 5. Plain pairs.
    candidate_pawn = Pair(W_PAWN_CANDIDATE);
    rook_open_file = Pair(W_ROOK_OPEN_FILE);
    rook_half_open_file = Pair(W_ROOK_HALF_OPEN_FILE);
    rook_rank7 = Pair(W_ROOK_RANK7);

    // 6. Threats, scaled by the Threats pair.
    const int16_t* th = w + W_PCT_THREATS;
    hung_pawn = ScaleParam(w + W_HUNG_PAWN, th);
    hung_piece = ScaleParam(w + W_HUNG_PIECE, th);
    multiple_hung = ScaleParam(w + W_MULTI_HUNG, th);
    threat_pawn_push = ScaleParam(w + W_THREAT_PPUSH, th);
    attacked_piece = ScaleParam(w + W_ATTACKED_PIECE, th);

    // 7. Outposts, trapped rook, storm, safe checks.
    knight_outpost = Pair(W_KNIGHT_OUTPOST);
    bishop_outpost = Pair(W_BISHOP_OUTPOST);
    rook_trapped = Pair(W_ROOK_TRAPPED);
    pawn_storm = Pair(W_PAWN_STORM);
    safe_check = Pair(W_SAFE_CHECK);
    knight_outpost_xtra = MakeScore(ScoreOp(knight_outpost) / 2, 0);
    bishop_outpost_xtra = MakeScore(ScoreOp(bishop_outpost) / 2, 0);

    // 8. Passed pawns.
    static const int c1[8] = {0, 6, 6, 14, 36, 80, 132, 0};
    static const int c2[8] = {0, 9, 9, 26, 62, 122, 200, 0};
    int pp = w[W_PCT_PASSED_PAWNS + 1];
    for (int r = 0; r < 8; r++) {
        ppawn1[r] = (int16_t)(pp * c1[r] / 100);
        ppawn2[r] = (int16_t)(pp * c2[r] / 100);
    }

    // 9. Mobility.
    BuildMobility(knight_mobility, 22, 10, 8, 0.4, 0.06, W_KNIGHT_MOBILITY, W_PCT_MOB_KNIGHT);
    BuildMobility(bishop_mobility, 22, 20, 17, 0.35, 0.06, W_BISHOP_MOBILITY, W_PCT_MOB_BISHOP);
    BuildMobility(rook_mobility, 22, 20, 17, 0.35, 0.06, W_ROOK_MOBILITY, W_PCT_MOB_ROOK);
    BuildMobility(queen_mobility, 32, 28, 26, 0.45, 0.12, W_QUEEN_MOBILITY, W_PCT_MOB_QUEEN);

    // 10. Pawn shield.
    int sh = w[W_PAWN_SHIELD];
    for (int i = 0; i < 24; i++) PawnShield[i] = (int16_t)(i < 9 ? sh * i / 9 : sh);

    // 11. King danger: quadratic, its growth per unit capped by 470 / i.
    double s = w[W_PCT_KING_SAFETY] * 0.01 * 0.25;
    KingDanger[0] = 0;
    for (int i = 1; i < 64; i++) {
        long curve = std::lround(i * i * s);
        long step = (long)KingDanger[i - 1] + 470 / i;
        KingDanger[i] = (int16_t)std::min(step, curve);
    }
}
