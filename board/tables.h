// Constant tables and the bitboard tables built at start-up, the bit
// primitives and the slider attacks.
#pragma once
#include <cstdint>
#include "board/types.h"

// ---- bit primitives -------------------------------------------------------
#if defined(__POPCNT__)
inline int PopCount(Bitboard b) { return __builtin_popcountll(b); }
#else
int PopCountPortable(Bitboard b);
inline int PopCount(Bitboard b) { return PopCountPortable(b); }
#endif
#if defined(__BMI__) || defined(__x86_64__) || defined(__aarch64__)
inline int LSB(Bitboard b) { return __builtin_ctzll(b); }
inline int MSB(Bitboard b) { return 63 ^ __builtin_clzll(b); }
#else
int LSBPortable(Bitboard b);
int MSBPortable(Bitboard b);
inline int LSB(Bitboard b) { return LSBPortable(b); }
inline int MSB(Bitboard b) { return MSBPortable(b); }
#endif
// The portable versions exist in every build so that they can be tested.
int PopCountPortable(Bitboard b);
int LSBPortable(Bitboard b);
int MSBPortable(Bitboard b);
inline Bitboard ClearLSB(Bitboard b) { return b & (b - 1); }
inline Bitboard SqBit(int sq) { return 1ULL << sq; }

// ---- static tables --------------------------------------------------------
extern const char* const square_name[65];
extern const char piece_letters[2][8];  // " PNBRQK", " pnbrqk"
extern const int8_t pawn_dir[2];
extern const uint8_t flip_sq[2];
extern const uint8_t init_king_sq[2];
extern const uint32_t msig[8];
extern const int16_t npv[8];
extern const uint8_t csbits[64];
extern const int16_t piece_value[8];
extern const Bitboard BB_r7[2];
extern const Bitboard BB_r6[2];
extern const uint8_t sq_color[64];  // 0 light squares, 1 dark squares (a1 is dark)

// ---- tables computed at start-up -------------------------------------------
extern uint8_t bitcnt[256];
extern Bitboard BB_North[8], BB_South[8];
extern Bitboard BB_Front[2][8], BB_Behind[2][8];
extern Bitboard BB_AdjacentFiles[8];
extern Bitboard BB_AdjacentSquares[64];
extern Bitboard BB_PawnSpan[2][64];
extern Bitboard BB_PawnRays[2][64];
extern Bitboard BB_KnightRays[64];
extern Bitboard BB_KingRays[64];
extern Bitboard BB_RayN[64], BB_RayS[64], BB_RayE[64], BB_RayW[64];
extern Bitboard BB_RayNE[64], BB_RayNW[64], BB_RaySE[64], BB_RaySW[64];
extern Bitboard BB_RookRays[64], BB_BishopRays[64];
extern Bitboard BB_Between[64][64];
extern const Bitboard BB_File[8];
extern const Bitboard BB_Rank[8];

// Builds every start-up table above; safe to call more than once.
void InitBoardTables();

Bitboard BishopAttacks(int sq, Bitboard occ);
Bitboard RookAttacks(int sq, Bitboard occ);
inline Bitboard QueenAttacks(int sq, Bitboard occ) { return BishopAttacks(sq, occ) | RookAttacks(sq, occ); }
