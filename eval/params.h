// Evaluation parameters: the settings words 248-415, their built-in defaults,
// and the packed opening/endgame tables that the evaluation reads.
//
// A ScorePair holds eg * 65536 + op in 32 bits. All pair arithmetic goes
// through unsigned 32-bit operations, so that even absurd parameter words
// wrap the halves instead of overflowing a signed integer; the bits are those
// of ordinary signed arithmetic.
#pragma once
#include <cstdint>
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

// ---- word numbers of the settings record ----------------------------------
enum : int {
    W_PAWN_VALUE = 248, W_KNIGHT_VALUE = 250, W_BISHOP_VALUE = 252, W_ROOK_VALUE = 254,
    W_QUEEN_VALUE = 256, W_BISHOP_PAIR = 258, W_PAWN_ISOLATED = 260, W_PAWN_BACKWARD = 262,
    W_PAWN_DOUBLED = 264, W_PAWN_WEAK = 266, W_PAWN_CONNECTED = 268, W_PAWN_DEFENDED = 270,
    W_PAWN_CANDIDATE = 280, W_KNIGHT_MOBILITY = 282, W_KNIGHT_OUTPOST = 284,
    W_BISHOP_MOBILITY = 286, W_BISHOP_OUTPOST = 288, W_ROOK_MOBILITY = 290,
    W_ROOK_OPEN_FILE = 292, W_ROOK_HALF_OPEN_FILE = 294, W_ROOK_RANK7 = 296,
    W_ROOK_TRAPPED = 298, W_QUEEN_MOBILITY = 300, W_QUEEN_RANK7 = 302, W_PAWN_SHIELD = 304,
    W_PAWN_STORM = 306, W_SAFE_CHECK = 310, W_HUNG_PAWN = 313, W_HUNG_PIECE = 315,
    W_ATTACKED_PIECE = 317, W_MULTI_HUNG = 319, W_THREAT_PPUSH = 321,
    W_PST_P = 325, W_PST_N = 327, W_PST_B = 329, W_PST_R = 331, W_PST_Q = 333, W_PST_K = 335,
    // percent pairs
    W_PCT_PST_PAWN = 337, W_PCT_PST_KNIGHT = 339, W_PCT_PST_BISHOP = 341, W_PCT_PST_ROOK = 343,
    W_PCT_PST_QUEEN = 345, W_PCT_PST_KING = 347, W_PCT_MOB_KNIGHT = 349, W_PCT_MOB_BISHOP = 351,
    W_PCT_MOB_ROOK = 353, W_PCT_MOB_QUEEN = 355, W_PCT_PAWN_STRUCTURE = 357,
    W_PCT_PASSED_PAWNS = 359, W_PCT_KING_SAFETY = 361, W_PCT_THREATS = 363,
    W_PCT_AWARENESS = 365, W_PCT_TUNE = 367,
    W_PST_SQUARES = 369,  // 32 words, files a-d of ranks 1-8
    W_P1 = 401,           // p1 .. p15
    W_CONTEMPT = 230
};

// Writes the built-in defaults of words 248-415 into a settings record viewed
// as 416 words (the other words are left alone).
void SetDefaultEvalParams(int16_t* words);

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
