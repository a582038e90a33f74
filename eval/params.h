// Evaluation parameters: the packed opening/endgame tables that the evaluation reads.
//
// A ScorePair holds eg * 65536 + op in 32 bits. All pair arithmetic goes
// through unsigned 32-bit operations, so that even absurd parameter words
// wrap the halves instead of overflowing a signed integer; the bits are those
// of ordinary signed arithmetic.
#pragma once
#include <cstdint>
#include "base/settings.h"
#include "eval/evaltypes.h"

// ---- score pairs ----------------------------------------------------------
inline ScorePair MakeScore(int op, int eg) {
    return (ScorePair)(((uint32_t)eg << 16) + (uint32_t)op);
}
inline int ScoreOp(ScorePair s) { return (int16_t)(uint16_t)(uint32_t)s; }
inline int ScoreEg(ScorePair s) { return (int16_t)(uint16_t)(((uint32_t)s + 32768u) >> 16); }
inline ScorePair SpAdd(ScorePair a, ScorePair b) { return (ScorePair)((uint32_t)a + (uint32_t)b); }
inline ScorePair SpSub(ScorePair a, ScorePair b) { return (ScorePair)((uint32_t)a - (uint32_t)b); }
inline ScorePair SpMul(ScorePair a, int n) { return (ScorePair)((uint32_t)a * (uint32_t)n); }
inline void SpAddTo(ScorePair& a, ScorePair b) { a = SpAdd(a, b); }

// ---- derived tables (written only by SetEvalParams / InitPieceSqTables) ----
extern ScorePair pawn_value, knight_value, bishop_value, rook_value, queen_value, bishop_pair;
extern int16_t contempt;
extern ScorePair lone_queen, pawn_blocked, bishop_rammed_pawns;
extern ScorePair pawn_isolated, pawn_backward, pawn_doubled, pawn_weak;
extern ScorePair candidate_pawn, rook_open_file, rook_half_open_file, rook_rank7, rook_trapped,
    safe_check, knight_outpost, bishop_outpost, pawn_storm;
extern ScorePair knight_outpost_xtra, bishop_outpost_xtra;
extern ScorePair hung_pawn, hung_piece, multiple_hung, attacked_piece, threat_pawn_push;
extern ScorePair PST_pawn[64], PST_knight[64], PST_bishop[64], PST_rook[64], PST_queen[64],
    PST_king[64];
extern ScorePair connected_pawn[64], defended_pawn[64];
extern ScorePair knight_mobility[22], bishop_mobility[22], rook_mobility[22], queen_mobility[32];
extern int16_t KingDanger[64];
extern int16_t PawnShield[24];
extern int16_t ppawn1[8], ppawn2[8];

// Pair of round(pct_op * 0.01 * op), round(pct_eg * 0.01 * eg); both
// arguments point at two consecutive words, opening first.
ScorePair ScaleParam(const int16_t* pair, const int16_t* percent);
// Builds the 64-square tables from the live settings.
void InitPieceSqTables();
// Rebuilds every derived table from the live settings (Personality) and marks
// the pool threads' caches for clearing. Call only while no search runs.
void SetEvalParams();
